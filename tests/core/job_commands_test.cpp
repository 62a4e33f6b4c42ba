#include "core/job_commands.h"

#include "core/jobs_catalogue.h"
#include "fixtures/temp_home.h"
#include "jobs/job_file.h"
#include "options/options.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::WriteFileBytes;

class JobCommandsTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        TOptions& options = GlobalOptions();
        options = DefaultOptions();
        options.Processing.IfDestinationNotAvailable_Retry_Times = 0;
        options.Processing.IfDestinationNotAvailable_Wait_Sec = 0;
        catalogue = std::make_unique<TJobsCatalogue>(AppDir());
        WriteFileBytes(HomePath(u"src/docs/a.txt"_s), "a");
        WriteFileBytes(HomePath(u"src/notes.txt"_s), "n");
        WriteFileBytes(HomePath(u"src/other/docs/b.txt"_s), "b");
        ASSERT_TRUE(QDir().mkpath(HomePath(u"dest"_s)));
    }

    // A job made through the command from a folder source to the local destination.
    TJob_FilesAndFolders& Create(const QString& name) {
        TNewFilesJobSettings settings;
        settings.Sources = {HomePath(u"src/docs"_s)};
        settings.Destination = HomePath(u"dest"_s);
        const TJobCommandResult result = CreateFilesJob(*catalogue, name, name, settings);
        EXPECT_EQ(result.Outcome, JobCommandOutcome::Done) << result.Message.toStdString();
        return *dynamic_cast<TJob_FilesAndFolders*>(result.Job);
    }

    std::unique_ptr<TJobsCatalogue> catalogue;
};

TEST_F(JobCommandsTest, NameChecksGiveTheNameToUseOrTheTextToShow) {
    Create(u"Docs"_s);
    struct Case {
        QString typed;
        JobNameCheck check;
        QString name;
        QString message;
    };
    const Case cases[] = {
        {u"  Photos\t"_s, JobNameCheck::Ok, u"Photos"_s, {}},
        {u" "_s, JobNameCheck::Empty, {}, {}}, // nothing to say: the command just stops
        {u"a/b"_s,
         JobNameCheck::ForbiddenSymbols,
         {},
         u"The following symbols are not allowed in the title:\r\n\r\n"_s +
             TJobsCatalogue::ForbiddenNameSymbols},
        {u"DOCS"_s, JobNameCheck::Taken, {}, u"Job \"DOCS\" already exists. Please specify another name."_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        const TJobNameResult result = CheckJobName(*catalogue, c.typed);
        EXPECT_EQ(result.Check, c.check);
        if (c.check == JobNameCheck::Ok) {
            EXPECT_EQ(result.Name, c.name);
        }
        EXPECT_EQ(result.Message, c.message);
    }
}

TEST_F(JobCommandsTest, FindingAJobPrefersTheExactName) {
    // Names differing only in case can exist side by side when the list file was written by hand.
    catalogue->Append(std::make_unique<TJob_FilesAndFolders>(u"docs"_s));
    catalogue->Append(std::make_unique<TJob_FilesAndFolders>(u"Docs"_s));
    EXPECT_EQ(FindJobByName(*catalogue, u"Docs"_s), &catalogue->At(1));
    EXPECT_EQ(FindJobByName(*catalogue, u"DOCS"_s), &catalogue->At(0));
    EXPECT_EQ(FindJobByName(*catalogue, u"Doc"_s), nullptr);
    EXPECT_EQ(JobNotFoundMessage(u"Doc"_s), u"Job \"Doc\" is not found.");
}

TEST_F(JobCommandsTest, NewJobIsFilledFromTheSettings) {
    const QString src = HomePath(u"src"_s);
    struct Case {
        const char* what;
        std::function<void(TNewFilesJobSettings&)> set;
        std::function<void(const TJob_FilesAndFolders&)> expect;
    };
    const Case cases[] = {
        {"defaults: a folder, a file and a local destination",
         [&](TNewFilesJobSettings& s) {
             s.Sources = {src + u"/docs/"_s, src + u"/./notes.txt"_s};
             s.Destination = HomePath(u"dest/../dest"_s);
         },
         [&](const TJob_FilesAndFolders& job) {
             EXPECT_EQ(job.Settings.Sources.List, QStringList({src + u"/docs/*"_s, src + u"/notes.txt"_s}));
             EXPECT_EQ(job.DestinationType, dtExternalDevice);
             EXPECT_EQ(job.DestinationPath, HomePath(u"dest"_s));
             EXPECT_EQ(job.Settings.Backup.BackupType, btInc);
             EXPECT_EQ(job.Settings.Backup.PerformFullBackup_EveryCopies, 5);
             EXPECT_EQ(job.Settings.Backup.NumberFullCopiesToKeep, 10);
             EXPECT_FALSE(job.Settings.Backup.RemoveOldBackupsBeforeStartingNewBackup);
             EXPECT_TRUE(job.NewSubfolderIsCreatedForEachBackup);
             EXPECT_EQ(job.Settings.Sources.FilterType, ftNoFilters);
             EXPECT_TRUE(job.Settings.Sources.Extensions.isEmpty());
         }},
        {"a mirror keeps one folder; counts of 0 are kept",
         [&](TNewFilesJobSettings& s) {
             s.BackupType = btSync;
             s.FullBackupEveryCopies = 0;
             s.FullCopiesToKeep = 0;
             s.RemoveOldBackupsFirst = true;
         },
         [](const TJob_FilesAndFolders& job) {
             EXPECT_EQ(job.Settings.Backup.BackupType, btSync);
             EXPECT_FALSE(job.NewSubfolderIsCreatedForEachBackup);
             EXPECT_EQ(job.Settings.Backup.PerformFullBackup_EveryCopies, 0);
             EXPECT_EQ(job.Settings.Backup.NumberFullCopiesToKeep, 0);
             EXPECT_TRUE(job.Settings.Backup.RemoveOldBackupsBeforeStartingNewBackup);
         }},
        {"a full-backup job adds a folder per backup", [](TNewFilesJobSettings& s) { s.BackupType = btFull; },
         [](const TJob_FilesAndFolders& job) {
             EXPECT_TRUE(job.NewSubfolderIsCreatedForEachBackup);
         }},
        {"extensions are stored normalised",
         [](TNewFilesJobSettings& s) {
             s.FilterType = ftIncludeOnly;
             s.Extensions = u"; JPG ; Png;"_s;
         },
         [](const TJob_FilesAndFolders& job) {
             EXPECT_EQ(job.Settings.Sources.FilterType, ftIncludeOnly);
             EXPECT_EQ(job.Settings.Sources.Extensions, u"jpg;png");
         }},
        {"extensions without a filter are ignored", [](TNewFilesJobSettings& s) { s.Extensions = u"*"_s; },
         [](const TJob_FilesAndFolders& job) {
             EXPECT_EQ(job.Settings.Sources.FilterType, ftNoFilters);
             EXPECT_TRUE(job.Settings.Sources.Extensions.isEmpty());
         }},
        {"a share keeps its path as given, with the credentials",
         [](TNewFilesJobSettings& s) {
             s.Destination = u"//server/share/backups"_s;
             s.NetworkUser = u"anna"_s;
             s.NetworkPassword = u"secret"_s;
         },
         [](const TJob_FilesAndFolders& job) {
             EXPECT_EQ(job.DestinationType, dtNetwork);
             EXPECT_EQ(job.DestinationPath, u"//server/share/backups");
             EXPECT_EQ(job.Destination_NetworkUsername, u"anna");
             EXPECT_EQ(job.Destination_NetworkPassword, u"secret");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TNewFilesJobSettings settings;
        settings.Sources = {src + u"/docs"_s};
        settings.Destination = HomePath(u"dest"_s);
        c.set(settings);
        TJob_FilesAndFolders job(u"J"_s);
        const TNewJobFill fill = FillNewJob(job, settings);
        ASSERT_EQ(fill.Problem, NewJobProblem::None) << NewJobProblemMessage(fill).toStdString();
        c.expect(job);
    }
}

TEST_F(JobCommandsTest, NewJobProblemsComeInOrder) {
    const QString src = HomePath(u"src"_s);
    struct Case {
        const char* what;
        std::function<void(TNewFilesJobSettings&)> set;
        NewJobProblem problem;
        QString detail;
    };
    const Case cases[] = {
        {"a negative count",
         [](TNewFilesJobSettings& s) { s.FullBackupEveryCopies = -1; },
         NewJobProblem::FullEveryOutOfRange,
         {}},
        {"a negative count to keep, before a missing source",
         [&](TNewFilesJobSettings& s) {
             s.FullCopiesToKeep = -3;
             s.Sources.append(src + u"/gone"_s);
         },
         NewJobProblem::KeepOutOfRange,
         {}},
        {"a missing source", [&](TNewFilesJobSettings& s) { s.Sources.append(src + u"/gone"_s); },
         NewJobProblem::SourceMissing, src + u"/gone"_s},
        {"two folders of one name",
         [&](TNewFilesJobSettings& s) { s.Sources.append(src + u"/other/docs"_s); },
         NewJobProblem::DuplicatedSources, src + u"/other/docs\r\n"_s + src + u"/docs"_s},
        {"only separators and blanks as extensions",
         [](TNewFilesJobSettings& s) {
             s.FilterType = ftExclude;
             s.Extensions = u" ; "_s;
         },
         NewJobProblem::ExtensionsEmpty,
         {}},
        {"a wildcard among the extensions",
         [](TNewFilesJobSettings& s) {
             s.FilterType = ftIncludeOnly;
             s.Extensions = u"jpg;*.png"_s;
         },
         NewJobProblem::ExtensionsForbidden,
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TNewFilesJobSettings settings;
        settings.Sources = {src + u"/docs"_s};
        settings.Destination = HomePath(u"dest"_s);
        c.set(settings);
        TJob_FilesAndFolders job(u"J"_s);
        const TNewJobFill fill = FillNewJob(job, settings);
        EXPECT_EQ(fill.Problem, c.problem);
        EXPECT_EQ(fill.Detail, c.detail);
        const bool shown =
            c.problem != NewJobProblem::FullEveryOutOfRange && c.problem != NewJobProblem::KeepOutOfRange;
        EXPECT_EQ(NewJobProblemMessage(fill).isEmpty(), !shown);
    }
}

TEST_F(JobCommandsTest, CreatingSavesTheJobAndTheListOrNothing) {
    TJob_FilesAndFolders& created = Create(u"Docs"_s);
    EXPECT_EQ(TakeEventTexts(), QStringList({u"Created new job: \"Docs\"."_s}));
    TJobsCatalogue reloaded(AppDir());
    ASSERT_TRUE(reloaded.LoadJobsListAndJobs());
    ASSERT_EQ(reloaded.Count(), 1);
    auto* loaded = dynamic_cast<TJob_FilesAndFolders*>(&reloaded.At(0));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->Settings.Sources.List, created.Settings.Sources.List);
    EXPECT_EQ(loaded->DestinationPath, created.DestinationPath);

    TNewFilesJobSettings refused;
    refused.Sources = {HomePath(u"src/gone"_s)};
    refused.Destination = HomePath(u"dest"_s);
    const TJobCommandResult result = CreateFilesJob(*catalogue, u"Gone"_s, u"Gone"_s, refused);
    EXPECT_EQ(result.Outcome, JobCommandOutcome::Refused);
    EXPECT_EQ(result.Message, u"The source does not exist: "_s + HomePath(u"src/gone"_s));
    EXPECT_EQ(catalogue->Count(), 1);
    EXPECT_FALSE(QFile::exists(catalogue->JobFilePath(u"Gone"_s)));
    EXPECT_TRUE(TakeEventTexts().isEmpty());
}

TEST_F(JobCommandsTest, StorageCopyPathsNameTheirJob) {
    const std::pair<QString, std::optional<QString>> cases[] = {
        {u"/media/usb/Docs.bmj"_s, u"Docs"_s},
        {u"//server/share/My job.bmj"_s, u"My job"_s},
        {u"/media/usb/.bmj"_s, std::nullopt},
        {u"/media/usb/Docs.txt"_s, std::nullopt},
    };
    for (const auto& [path, name] : cases)
        EXPECT_EQ(JobNameOfStorageCopy(path), name) << path.toStdString();
}

TEST_F(JobCommandsTest, ImportedJobJoinsTheCatalogueOnlyWithItsJobFile) {
    TJob_FilesAndFolders& job = Create(u"Docs"_s);
    job.Backup();
    job.WaitForWorker();
    ASSERT_EQ(job.LastJobResult.ErrorsCount, 0) << job.LastJobResult.Log.join(u'\n').toStdString();
    const QStringList sources = job.Settings.Sources.List;
    const QString copy = HomePath(u"dest/Docs.bmj"_s);
    ASSERT_TRUE(QFile::exists(copy));
    ASSERT_EQ(RemoveJobFromCatalogue(*catalogue, job, false).Outcome, JobCommandOutcome::Done);
    const std::optional<QString> name = JobNameOfStorageCopy(copy);
    ASSERT_TRUE(name);
    ASSERT_EQ(CheckJobName(*catalogue, *name).Check, JobNameCheck::Ok);

    // A folder where the job file belongs: the file cannot be written.
    ASSERT_TRUE(QDir().mkpath(catalogue->JobFilePath(*name)));
    TakeEventTexts();
    const TJobCommandResult refused = ImportStorageCopy(*catalogue, copy, *name, {}, {});
    EXPECT_EQ(refused.Outcome, JobCommandOutcome::JobFileNotSaved);
    EXPECT_EQ(refused.Message, u"Unable to save the job file: "_s + catalogue->JobFilePath(*name));
    EXPECT_EQ(catalogue->Count(), 0);
    EXPECT_FALSE(TakeEventTexts().contains(u"Job is open: \"Docs\"."_s));

    ASSERT_TRUE(QDir(catalogue->JobFilePath(*name)).removeRecursively());
    const TJobCommandResult imported = ImportStorageCopy(*catalogue, copy, *name, {}, {});
    ASSERT_EQ(imported.Outcome, JobCommandOutcome::Done) << imported.Message.toStdString();
    ASSERT_EQ(catalogue->Count(), 1);
    EXPECT_EQ(imported.Job, &catalogue->At(0));
    EXPECT_TRUE(TakeEventTexts().contains(u"Job is open: \"Docs\"."_s));
    TJobsCatalogue reloaded(AppDir());
    ASSERT_TRUE(reloaded.LoadJobsListAndJobs());
    ASSERT_EQ(reloaded.Count(), 1);
    auto* loaded = dynamic_cast<TJob_FilesAndFolders*>(&reloaded.At(0));
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->Settings.Sources.List, sources);
}

TEST_F(JobCommandsTest, RemovingTakesTheBackupsOnlyWhenAsked) {
    for (const bool withBackups : {false, true}) {
        SCOPED_TRACE(withBackups ? "with backups" : "without backups");
        const QString name = withBackups ? u"With"_s : u"Without"_s;
        TJob_FilesAndFolders& job = Create(name);
        job.Backup();
        job.WaitForWorker();
        ASSERT_EQ(job.LastJobResult.ErrorsCount, 0) << job.LastJobResult.Log.join(u'\n').toStdString();
        const QString jobFolder = HomePath(u"dest/"_s + name);
        ASSERT_TRUE(QFileInfo(jobFolder).isDir());
        ASSERT_TRUE(QFile::exists(jobFolder + u".bmj"_s));
        TakeEventTexts();

        const TJobCommandResult result = RemoveJobFromCatalogue(*catalogue, job, withBackups);
        EXPECT_EQ(result.Outcome, JobCommandOutcome::Done) << result.Message.toStdString();
        EXPECT_EQ(catalogue->IndexOfName(name), -1);
        EXPECT_FALSE(QFile::exists(catalogue->JobFilePath(name)));
        EXPECT_EQ(QFileInfo(jobFolder).exists(), !withBackups);
        EXPECT_EQ(QFile::exists(jobFolder + u".bmj"_s), !withBackups);
        QStringList events = {u"Job is removed."_s};
        if (withBackups)
            events.prepend(u"The backup folder has been removed successfully on the storage device."_s);
        EXPECT_EQ(TakeEventTexts(), events);
        TJobsCatalogue reloaded(AppDir());
        reloaded.LoadJobsListAndJobs();
        EXPECT_EQ(reloaded.IndexOfName(name), -1);
    }
}

TEST_F(JobCommandsTest, RemovingLeavesTheCatalogueEvenWhenTheBackupsStay) {
    TJob_FilesAndFolders& job = Create(u"Docs"_s);
    job.DestinationPath = HomePath(u"no-such-drive"_s);
    TakeEventTexts();
    const TJobCommandResult result = RemoveJobFromCatalogue(*catalogue, job, true);
    EXPECT_EQ(result.Outcome, JobCommandOutcome::Failed);
    EXPECT_EQ(result.Message, u"Unable to remove the backup folder.\r\n\r\n"
                              u"Make sure the storage device is connected. Then remove it manually"_s);
    EXPECT_EQ(catalogue->Count(), 0);
    EXPECT_TRUE(TakeEventTexts().contains(u"Job is removed."_s));
}

TEST_F(JobCommandsTest, SchedulesAreBuiltOrRefused) {
    TSchedulingSettings current;
    current.SchedulingType = stDaysOfWeek;
    current.DaysOfWeek[0] = true;
    current.TimeTable = {u"07:00:00"_s};
    using Kind = TScheduleRequest::Kind;
    struct Case {
        const char* what;
        Kind type;
        QStringList times;
        std::vector<int> monthDays;
        ScheduleProblem problem;
        QString detail;
        QStringList table; // when built
    };
    const Case cases[] = {
        {"times sorted and written in full",
         Kind::DaysOfMonth,
         {u"21:30"_s, u"8:05"_s, u"08:05:30"_s},
         {1, 31},
         ScheduleProblem::None,
         {},
         {u"08:05:00"_s, u"08:05:30"_s, u"21:30:00"_s}},
        {"no time", Kind::DaysOfWeek, {}, {}, ScheduleProblem::NoTimes, {}, {}},
        {"not a time", Kind::DaysOfWeek, {u"25:00"_s}, {}, ScheduleProblem::TimeInvalid, u"25:00"_s, {}},
        {"a time twice",
         Kind::DaysOfWeek,
         {u"8:00"_s, u"08:00:00"_s},
         {},
         ScheduleProblem::TimeRepeated,
         u"08:00:00"_s,
         {}},
        {"a time problem comes before a day problem",
         Kind::DaysOfMonth,
         {u"x"_s},
         {32},
         ScheduleProblem::TimeInvalid,
         u"x"_s,
         {}},
        {"day 0", Kind::DaysOfMonth, {u"8:00"_s}, {0}, ScheduleProblem::MonthDayOutOfRange, {}, {}},
        {"day 32", Kind::DaysOfMonth, {u"8:00"_s}, {32}, ScheduleProblem::MonthDayOutOfRange, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TScheduleRequest request;
        request.Type = c.type;
        request.Times = c.times;
        request.MonthDays = c.monthDays;
        const TScheduleResult result = BuildSchedule(current, request);
        EXPECT_EQ(result.Problem, c.problem);
        EXPECT_EQ(result.Detail, c.detail);
        if (c.problem == ScheduleProblem::None) {
            EXPECT_EQ(result.Schedule.TimeTable, c.table);
            EXPECT_EQ(result.Schedule.SchedulingType, stDaysOfMonth);
            std::array<bool, 31> days{};
            days[0] = days[30] = true;
            EXPECT_EQ(result.Schedule.DaysOfMonth, days);
        }
    }

    TScheduleRequest weekly;
    weekly.Type = Kind::DaysOfWeek;
    weekly.Weekdays[4] = true;
    weekly.Times = {u"9:00"_s};
    weekly.CatchUp = weekly.Shutdown = true;
    const TSchedulingSettings built = BuildSchedule(current, weekly).Schedule;
    EXPECT_EQ(built.SchedulingType, stDaysOfWeek);
    EXPECT_EQ(built.DaysOfWeek, weekly.Weekdays);
    EXPECT_TRUE(built.RunJobAsSoonAsPossibleAfterAScheduledStartIsMissed);
    EXPECT_TRUE(built.ShutdownPCInTheEnd);

    // Switching off keeps the days and times for switching on again.
    const TSchedulingSettings off = BuildSchedule(current, TScheduleRequest{}).Schedule;
    EXPECT_EQ(off.SchedulingType, stDisabled);
    EXPECT_EQ(off.DaysOfWeek, current.DaysOfWeek);
    EXPECT_EQ(off.TimeTable, current.TimeTable);
}

TEST_F(JobCommandsTest, SavedScheduleReachesTheJobFile) {
    TJob_FilesAndFolders& job = Create(u"Docs"_s);
    TScheduleRequest request;
    request.Type = TScheduleRequest::Kind::DaysOfMonth;
    request.MonthDays = {15};
    request.Times = {u"12:00"_s};
    const TScheduleResult built = BuildSchedule(job.SchedulingSettings, request);
    ASSERT_EQ(built.Problem, ScheduleProblem::None);
    EXPECT_EQ(SaveJobSchedule(*catalogue, job, built.Schedule).Outcome, JobCommandOutcome::Done);
    EXPECT_GT(job.SchedulingSettings.LastModificationDateTime, 0);

    TJob_FilesAndFolders loaded(u"Docs"_s);
    ASSERT_TRUE(loaded.LoadLocalJobFile(catalogue->JobFilePath(u"Docs"_s)));
    EXPECT_EQ(loaded.SchedulingSettings.SchedulingType, stDaysOfMonth);
    EXPECT_TRUE(loaded.SchedulingSettings.DaysOfMonth[14]);
    EXPECT_EQ(loaded.SchedulingSettings.TimeTable, QStringList({u"12:00:00"_s}));
}

} // namespace
} // namespace morvane
