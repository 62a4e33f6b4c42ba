#include "control/job_wizard.h"
#include "control/job_wizard_commands.h"
#include "control/off_thread.h"
#include "control/source_tree_model.h"

#include "fixtures/samba_server.h"
#include "fixtures/temp_home.h"
#include "jobs/job_file.h"
#include "options/options.h"
#include "platform/paths.h"
#include "process_events.h"
#include "scripted_prompt.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

const QString NoSources = u"Please add one or more sources to the list"_s;
const QString ExtensionsHintText = u"Please specify extensions separated by ;\r\nExample: txt;doc;exe"_s;
const QString WholeDisk = u"You have selected the whole disk C: for backup.\r\n\r\nPlease note that only the "
                          u"files and folders will be "
                          "copied. You will not be able to restore the entire operating system from this "
                          "backup.\r\nIf you want to make "
                          "an exact copy of the operating system with all settings, files and applications, "
                          "exit the Wizard.\r\nThen "
                          "create a new backup job of type \"Drive Image Backup\"."_s;

TEST(JobWizardPages, SourcesPageChecks) {
    using Kind = TWizardMessage::Kind;
    struct Case {
        const char* name;
        QStringList sources;
        TFilterType filter;
        QString extensions;
        QString message; // empty: the page passes
        Kind kind;
        bool blocking;
        QString extensionsAfter;
    };
    const QString duplicate =
        u"Among the items there are files or folders having the same name, therefore they could be "
        u"overwritten by "
        "each other and you could have incorrect backups.\r\n\r\nExample:\r\n/e/B/Data\r\n/d/A/Data"_s;
    const Case cases[] = {
        {"nothing chosen", {}, ftNoFilters, u"txt"_s, NoSources, Kind::Warning, true, u"txt"_s},
        {"extensions normalised",
         {u"/d/x/*"_s},
         ftIncludeOnly,
         u" ;TXT; Doc;"_s,
         {},
         Kind::Warning,
         true,
         u"txt;doc"_s},
        {"only a separator", {u"/d/x/*"_s}, ftExclude, u";"_s, ExtensionsHintText, Kind::Warning, true, {}},
        {"a dot",
         {u"/d/x/*"_s},
         ftIncludeOnly,
         u"txt;.doc"_s,
         u"Characters * . , \\ / are not allowed.\r\n\r\n"_s + ExtensionsHintText,
         Kind::Warning,
         true,
         u"txt;.doc"_s},
        {"no filter leaves the text alone",
         {u"/d/x/*"_s},
         ftNoFilters,
         u" ;A. "_s,
         {},
         Kind::Warning,
         true,
         u" ;A. "_s},
        {"two folders of one name",
         {u"/d/A/Data/*"_s, u"/e/B/Data/*"_s},
         ftNoFilters,
         {},
         duplicate,
         Kind::Error,
         true,
         {}},
        {"a folder and a file of one name",
         {u"/d/Data/*"_s, u"/e/Data"_s},
         ftNoFilters,
         {},
         {},
         Kind::Warning,
         true,
         {}},
        {"the whole system disk", {u"/*"_s}, ftNoFilters, {}, WholeDisk, Kind::Warning, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString extensions = c.extensions;
        const std::optional<TWizardMessage> message = CheckSourcesPage(c.sources, c.filter, extensions);
        if (c.message.isEmpty()) {
            EXPECT_FALSE(message.has_value());
        } else {
            ASSERT_TRUE(message.has_value());
            EXPECT_EQ(message->Text, c.message);
            EXPECT_EQ(message->MessageKind, c.kind);
            EXPECT_EQ(message->Blocking, c.blocking);
            EXPECT_EQ(message->ShowList, c.kind == Kind::Error);
        }
        if (!c.extensionsAfter.isNull()) {
            EXPECT_EQ(extensions, c.extensionsAfter);
        }
    }
}

class JobWizardTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        GlobalOptions() = DefaultOptions();
        GlobalOptions().Logging.PathForLogFiles = HomePath(u"logs"_s);
        source = HomePath(u"src"_s);
        target = HomePath(u"dst"_s);
        QDir().mkpath(JoinPath(source, u"a/x"_s));
        QDir().mkpath(JoinPath(source, u"a/y"_s));
        QDir().mkpath(JoinPath(source, u"b"_s));
        QDir().mkpath(JoinPath(source, u".hidden"_s));
        testing::WriteFileBytes(JoinPath(source, u"a/file.txt"_s), "text");
        QDir().mkpath(target);
    }
    QString source;
    QString target;
};

TEST_F(JobWizardTest, DestinationPageChecks) {
    struct Case {
        const char* name;
        bool network;
        QString local;
        QString networkPath;
        QString message;
    };
    const Case cases[] = {
        {"existing folder", false, target, {}, {}},
        {"missing folder", false, HomePath(u"nowhere"_s), {}, u"Please choose existing folder"_s},
        {"a file is no folder",
         false,
         JoinPath(source, u"a/file.txt"_s),
         {},
         u"Please choose existing folder"_s},
        {"empty path", false, {}, {}, u"Please choose existing folder"_s},
        {"default network text", true, {}, u"\\"_s, u"Please choose correct UNC-path"_s},
        {"two characters pass", true, {}, u"\\\\"_s, {}},
        {"network ignores the local path", true, {}, u"//server/share"_s, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TDestinationFields fields;
        fields.Network = c.network;
        fields.LocalPath = c.local;
        fields.NetworkPath = c.networkPath;
        const std::optional<TWizardMessage> message = CheckFilesDestinationPage(fields);
        EXPECT_EQ(message ? message->Text : QString(), c.message);
    }
}

TEST(JobWizardSchedule, TimetableKeepsOrderAndRefusesRepeats) {
    QStringList table;
    EXPECT_FALSE(AddTimeToTimetable(table, QTime(18, 0)));
    EXPECT_FALSE(AddTimeToTimetable(table, QTime(8, 0)));
    EXPECT_FALSE(AddTimeToTimetable(table, QTime(12, 0)));
    EXPECT_FALSE(AddTimeToTimetable(table, QTime(23, 59, 59)));
    EXPECT_FALSE(AddTimeToTimetable(table, QTime(0, 0, 1)));
    EXPECT_EQ(table,
              (QStringList{u"00:00:01"_s, u"08:00:00"_s, u"12:00:00"_s, u"18:00:00"_s, u"23:59:59"_s}));
    const std::optional<TWizardMessage> repeated = AddTimeToTimetable(table, QTime(8, 0));
    ASSERT_TRUE(repeated);
    EXPECT_EQ(repeated->Text, u"Record already exists"_s);
    EXPECT_EQ(table.size(), 5);
}

TEST(JobWizardSchedule, SaveChecks) {
    struct Case {
        const char* name;
        std::function<void(TScheduleFields&)> set;
        QString message;
    };
    const Case cases[] = {
        {"no schedule saves whatever the timetable", [](TScheduleFields&) {}, {}},
        {"week without a day", [](TScheduleFields& f) { f.SetDaysOfWeekChecked(true); },
         u"Please specify at least one day."_s},
        {"week day but no time",
         [](TScheduleFields& f) {
             f.SetDaysOfWeekChecked(true);
             f.Weekdays[2] = true;
         },
         u"Please add at least one record to the timetable."_s},
        {"a month day does not count for the week",
         [](TScheduleFields& f) {
             f.SetDaysOfWeekChecked(true);
             f.MonthDays[0] = true;
             f.TimeTable = {u"08:00:00"_s};
         },
         u"Please specify at least one day."_s},
        {"month with day and time",
         [](TScheduleFields& f) {
             f.SetDaysOfMonthChecked(true);
             f.MonthDays[30] = true;
             f.TimeTable = {u"08:00:00"_s};
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TScheduleFields fields;
        c.set(fields);
        const std::optional<TWizardMessage> message = CheckSchedulePage(fields);
        EXPECT_EQ(message ? message->Text : QString(), c.message);
    }
    TScheduleFields exclusive;
    exclusive.SetDaysOfMonthChecked(true);
    exclusive.SetDaysOfWeekChecked(true);
    EXPECT_FALSE(exclusive.DaysOfMonthChecked);
}

TEST_F(JobWizardTest, PagesMoveOnlyPastTheirChecksAndSaveSetsTheResult) {
    test::ScriptedPrompt prompt;
    TFilesWizard wizard;
    EXPECT_FALSE(wizard.BackEnabled());
    EXPECT_TRUE(wizard.NextEnabled());
    EXPECT_FALSE(wizard.SaveEnabled());
    EXPECT_FALSE(wizard.Save(prompt, wrSave));

    EXPECT_FALSE(wizard.Next(prompt));
    EXPECT_EQ(prompt.asked, QStringList{u"Message: "_s + NoSources});
    prompt.asked.clear();

    // The whole-disk warning is shown and the wizard still moves on.
    wizard.Sources = {u"/*"_s};
    EXPECT_TRUE(wizard.Next(prompt));
    EXPECT_EQ(prompt.asked, QStringList{u"Message: "_s + WholeDisk});
    EXPECT_EQ(wizard.Page(), TFilesWizard::pgDestination);
    wizard.Back();
    EXPECT_EQ(wizard.Page(), TFilesWizard::pgSources);

    // The duplicate error shows the list after it.
    wizard.Sources = {u"/d/A/Data/*"_s, u"/e/B/Data/*"_s};
    QStringList listed;
    EXPECT_FALSE(wizard.Next(prompt, [&](const QStringList& l) { listed = l; }));
    EXPECT_EQ(listed, wizard.Sources);

    wizard.Sources = {JoinPath(source, u"a/*"_s)};
    ASSERT_TRUE(wizard.Next(prompt));
    EXPECT_FALSE(wizard.Next(prompt)); // no destination yet
    wizard.Destination.LocalPath = target;
    ASSERT_TRUE(wizard.Next(prompt));
    ASSERT_TRUE(wizard.Next(prompt)); // the method page has no check
    EXPECT_FALSE(wizard.NextEnabled());
    EXPECT_TRUE(wizard.SaveEnabled());

    wizard.Schedule.SetDaysOfWeekChecked(true);
    EXPECT_FALSE(wizard.Save(prompt, wrSaveAndRun));
    EXPECT_EQ(wizard.ResultCode(), wrDiscard);
    wizard.Schedule.Weekdays[0] = true;
    EXPECT_FALSE(AddTimeToTimetable(wizard.Schedule.TimeTable, QTime(9, 30)));
    EXPECT_TRUE(wizard.Save(prompt, wrSaveAndRun));
    EXPECT_EQ(wizard.ResultCode(), wrSaveAndRun);

    wizard.ClearControls();
    EXPECT_EQ(wizard.ResultCode(), wrDiscard);
    EXPECT_EQ(wizard.Page(), TFilesWizard::pgSources);
    EXPECT_TRUE(wizard.Sources.isEmpty());
    EXPECT_EQ(wizard.Destination.NetworkPath, u"\\"_s);
}

// A scripted user at the wizard windows: each showing runs the next step on the wizard's model.
struct ScriptedWindows final : IJobWizardWindows {
    std::optional<TNewJobChoice> choice;
    std::function<void(TFilesWizard&)> filesStep;
    std::function<void(TImageWizard&)> imageStep;
    QStringList titles;
    std::optional<TNewJobChoice> AskNewJob() override { return choice; }
    void ShowFilesWizard(TFilesWizard& wizard, const QString& title) override {
        titles.append(title);
        wizard.ResetResult();
        filesStep(wizard);
    }
    void ShowImageWizard(TImageWizard& wizard, const QString& title) override {
        titles.append(title);
        wizard.ResetResult();
        imageStep(wizard);
    }
};

class JobWizardCommandsTest : public JobWizardTest {
protected:
    void SetUp() override {
        JobWizardTest::SetUp();
        catalogue = std::make_unique<TJobsCatalogue>(AppDir());
        commands = std::make_unique<TJobWizardCommands>(*catalogue, prompt, windows, [] { return false; });
    }
    void TearDown() override {
        commands.reset();
        catalogue.reset();
        JobWizardTest::TearDown();
    }
    // Walks the files wizard to its end and saves with `result`.
    void FillAndSave(TFilesWizard& w, TWizardResult result) {
        w.Sources = {JoinPath(source, u"a/*"_s), JoinPath(source, u"a/file.txt"_s)};
        w.FilterType = ftExclude;
        w.Extensions = u" TMP;"_s;
        ASSERT_TRUE(w.Next(prompt));
        w.Destination.LocalPath = target;
        ASSERT_TRUE(w.Next(prompt));
        w.BackupType = btFull;
        ASSERT_TRUE(w.Next(prompt));
        ASSERT_TRUE(w.Save(prompt, result));
    }
    test::ScriptedPrompt prompt;
    ScriptedWindows windows;
    std::unique_ptr<TJobsCatalogue> catalogue;
    std::unique_ptr<TJobWizardCommands> commands;
};

TEST_F(JobWizardCommandsTest, NewJobIsAddedSavedAndQueuedWhenRunNow) {
    for (const TWizardResult result : {wrSave, wrSaveAndRun}) {
        const QString name = result == wrSave ? u"Docs"_s : u"Photos"_s;
        windows.choice = IJobWizardWindows::TNewJobChoice{u"  "_s + name, TJob::Kind::FilesAndFolders};
        windows.filesStep = [&](TFilesWizard& w) {
            FillAndSave(w, result);
        };
        const int row = commands->NewJob();
        ASSERT_EQ(row, catalogue->Count() - 1);
        auto& job = static_cast<TJob_FilesAndFolders&>(catalogue->At(row));
        EXPECT_EQ(job.stJobName, name);
        EXPECT_EQ(windows.titles.last(), u" New Job -   "_s + name);
        EXPECT_EQ(job.JobStatus, result == wrSaveAndRun ? jsWaiting : jsNone);
        EXPECT_EQ(job.Settings.Sources.List,
                  (QStringList{JoinPath(source, u"a/*"_s), JoinPath(source, u"a/file.txt"_s)}));
        EXPECT_EQ(job.Settings.Sources.FilterType, ftExclude);
        EXPECT_EQ(job.Settings.Sources.Extensions, u"tmp"_s);
        EXPECT_EQ(job.Settings.Backup.BackupType, btFull);
        EXPECT_TRUE(job.NewSubfolderIsCreatedForEachBackup);
        EXPECT_EQ(job.DestinationType, dtExternalDevice);
        EXPECT_EQ(job.DestinationPath, target);
        EXPECT_NE(job.SchedulingSettings.LastModificationDateTime, 0);

        // What was saved is what the job holds.
        TJob_FilesAndFolders loaded(name);
        ASSERT_TRUE(loaded.LoadLocalJobFile(catalogue->JobFilePath(name)));
        EXPECT_EQ(loaded.Settings.Sources.List, job.Settings.Sources.List);
        EXPECT_EQ(loaded.DestinationPath, target);
    }
    TJobsCatalogue reread(AppDir());
    ASSERT_TRUE(reread.LoadJobsListAndJobs());
    EXPECT_EQ(reread.Count(), 2);
    EXPECT_TRUE(prompt.asked.isEmpty()) << prompt.asked.join(u'\n').toStdString();
}

TEST_F(JobWizardCommandsTest, DuplicateShowsTheSourcesSettingsAndAddsTheCopyWhenFinished) {
    windows.choice = IJobWizardWindows::TNewJobChoice{u"Docs"_s, TJob::Kind::FilesAndFolders};
    windows.filesStep = [&](TFilesWizard& w) {
        FillAndSave(w, wrSave);
    };
    const auto& original = static_cast<TJob_FilesAndFolders&>(catalogue->At(commands->NewJob()));

    // Closed without saving: nothing is added.
    QStringList shownSources;
    windows.filesStep = [&](TFilesWizard& w) {
        shownSources = w.Sources;
    };
    EXPECT_EQ(commands->DuplicateFilesJob(original, u"Copy"_s, u" Copy"_s), -1);
    EXPECT_EQ(shownSources, original.Settings.Sources.List);
    EXPECT_EQ(catalogue->Count(), 1);

    // Walked through and saved with "run now": the copy holds the original's settings and is queued.
    windows.filesStep = [&](TFilesWizard& w) {
        ASSERT_TRUE(w.Next(prompt));
        ASSERT_TRUE(w.Next(prompt));
        ASSERT_TRUE(w.Next(prompt));
        ASSERT_TRUE(w.Save(prompt, wrSaveAndRun));
    };
    const int row = commands->DuplicateFilesJob(original, u"Copy"_s, u" Copy"_s);
    ASSERT_EQ(row, 1);
    const auto& copy = static_cast<TJob_FilesAndFolders&>(catalogue->At(row));
    EXPECT_EQ(copy.stJobName, u"Copy"_s);
    EXPECT_EQ(windows.titles.last(), u" New Job -  Copy"_s);
    EXPECT_EQ(copy.Settings.Sources.List, original.Settings.Sources.List);
    EXPECT_EQ(copy.Settings.Sources.Extensions, u"tmp"_s);
    EXPECT_EQ(copy.Settings.Backup.BackupType, btFull);
    EXPECT_EQ(copy.DestinationPath, target);
    EXPECT_EQ(copy.JobStatus, jsWaiting);
    EXPECT_TRUE(QFile::exists(catalogue->JobFilePath(u"Copy"_s)));
    EXPECT_TRUE(prompt.asked.isEmpty()) << prompt.asked.join(u'\n').toStdString();
}

TEST_F(JobWizardCommandsTest, NewJobStopsOnABadNameOrACancelledWizard) {
    catalogue->Append(std::make_unique<TJob_FilesAndFolders>(u"Docs"_s));
    int shown = 0;
    windows.filesStep = [&](TFilesWizard&) {
        ++shown;
    }; // closed without saving
    windows.choice = IJobWizardWindows::TNewJobChoice{u"DOCS"_s, TJob::Kind::FilesAndFolders};
    EXPECT_EQ(commands->NewJob(), -1);
    EXPECT_EQ(prompt.asked,
              QStringList{u"Error: Job \"DOCS\" already exists. Please specify another name."_s});
    windows.choice = IJobWizardWindows::TNewJobChoice{u"   "_s, TJob::Kind::FilesAndFolders};
    EXPECT_EQ(commands->NewJob(), -1);
    EXPECT_EQ(shown, 0);
    windows.choice = IJobWizardWindows::TNewJobChoice{u"Fresh"_s, TJob::Kind::FilesAndFolders};
    EXPECT_EQ(commands->NewJob(), -1);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(catalogue->Count(), 1);
    EXPECT_FALSE(QFileInfo::exists(catalogue->JobFilePath(u"Fresh"_s)));
}

TEST_F(JobWizardCommandsTest, EditingKeepsCredentialsDropsVanishedSourcesAndWaitsForAnIdleJob) {
    auto& job = static_cast<TJob_FilesAndFolders&>(
        catalogue->Append(std::make_unique<TJob_FilesAndFolders>(u"Docs"_s)));
    job.Settings.Sources.List = {JoinPath(source, u"b/*"_s), JoinPath(source, u"gone/*"_s),
                                 JoinPath(source, u"a/file.txt"_s)};
    job.DestinationType = dtNetwork;
    job.DestinationPath = u"//server/share"_s;
    job.Destination_NetworkUsername = u"user"_s;
    job.Destination_NetworkPassword = u" pw "_s;
    job.SchedulingSettings.SchedulingType = stDaysOfMonth;
    job.SchedulingSettings.DaysOfMonth[14] = true;
    job.SchedulingSettings.TimeTable = {u"07:00:00"_s};

    int shown = 0;
    windows.filesStep = [&](TFilesWizard& w) {
        ++shown;
        if (shown == 1) {
            EXPECT_TRUE(w.EditingJob);
            // The window looks for the sources that are gone, as the real one does on its worker.
            EXPECT_EQ(w.Sources.size(), 3);
            w.DropSources(MissingSources(w.Sources));
            EXPECT_EQ(w.Sources,
                      (QStringList{JoinPath(source, u"b/*"_s), JoinPath(source, u"a/file.txt"_s)}));
            EXPECT_TRUE(w.Destination.Network);
            EXPECT_EQ(w.Destination.NetworkPassword, u"pw"_s);
            EXPECT_TRUE(w.Schedule.DaysOfMonthChecked);
            w.Destination.Network = false;
            w.Destination.LocalPath = target;
            ASSERT_TRUE(w.Next(prompt));
            ASSERT_TRUE(w.Next(prompt));
            ASSERT_TRUE(w.Next(prompt));
            // A run starts while the wizard is open.
            job.JobStatus = jsRunning;
        } else {
            // Shown again with the user's entries, on the page the user left.
            EXPECT_FALSE(w.Destination.Network);
            EXPECT_EQ(w.Page(), TFilesWizard::pgSchedule);
            job.JobStatus = jsNone;
        }
        ASSERT_TRUE(w.Save(prompt, wrSave));
    };
    ASSERT_TRUE(commands->EditJob(0));
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(windows.titles.first(), u" Settings - Docs"_s);
    EXPECT_EQ(
        prompt.asked,
        QStringList{u"Message: Job is currently running.\r\nUnable to complete the action at the moment. "
                    "Please try again in several seconds."_s});
    EXPECT_EQ(job.JobStatus, jsNone);
    EXPECT_EQ(job.DestinationType, dtExternalDevice);
    EXPECT_EQ(job.DestinationPath, target);
    EXPECT_EQ(job.Destination_NetworkUsername, u"user"_s);
    EXPECT_EQ(job.Destination_NetworkPassword, u" pw "_s);
    EXPECT_EQ(job.Settings.Sources.List.size(), 2);
    EXPECT_EQ(job.SchedulingSettings.SchedulingType, stDaysOfMonth);
    EXPECT_TRUE(job.SchedulingSettings.DaysOfMonth[14]);

    // A job that is not idle is refused before the wizard opens.
    prompt.asked.clear();
    job.JobStatus = jsWaiting;
    EXPECT_FALSE(commands->EditJob(0));
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(prompt.asked.size(), 1);
}

TEST(JobWizardPassword, TwoTypedTextsMustAgreeWithoutTheirBlanks) {
    struct Case {
        QString typed, confirmation;
        std::optional<QString> result;
    };
    const Case cases[] = {
        {u"  secret "_s, u"secret"_s, u"secret"_s},
        {u"\tsecret"_s, u"secret \n"_s, u"secret"_s},
        {u""_s, u"  "_s, u""_s}, // clears the password
        {u"secret"_s, u"Secret"_s, std::nullopt},
        {u"se cret"_s, u"secret"_s, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ConfirmedPassword(c.typed, c.confirmation), c.result) << c.typed.toStdString();
}

TEST(JobWizardMethod, ChangingAnExistingJobsMethodWarnsOncePerOpening) {
    TJob_FilesAndFolders job(u"Docs"_s);
    job.Settings.Backup.BackupType = btInc;
    TFilesWizard wizard;
    // A new job: nothing to lose.
    EXPECT_FALSE(wizard.ChooseBackupType(btFull));
    for (int opening = 0; opening < 2; ++opening) {
        wizard.ClearControls();
        wizard.JobToControls(job);
        wizard.EditingJob = true;
        EXPECT_FALSE(wizard.ChooseBackupType(btInc));
        const std::optional<TWizardMessage> warning = wizard.ChooseBackupType(btSync);
        ASSERT_TRUE(warning);
        EXPECT_EQ(warning->Text, u"Changing the backup type will cause the deletion of all backup files."_s);
        EXPECT_FALSE(wizard.ChooseBackupType(btFull));
        EXPECT_EQ(wizard.BackupType, btFull);
    }
}

TEST_F(JobWizardCommandsTest, DriveImageJobFromItsWizard) {
    windows.choice = IJobWizardWindows::TNewJobChoice{u"System"_s, TJob::Kind::DriveImage};
    windows.imageStep = [&](TImageWizard& w) {
        EXPECT_FALSE(w.Next(prompt));
        w.SetDriveChecked(u"/mnt/d"_s, true);
        w.SetDriveChecked(u"/"_s, true);
        ASSERT_TRUE(w.Next(prompt));
        EXPECT_FALSE(w.Next(prompt));
        w.Destination.Network = true;
        w.Destination.NetworkPath = u"//nas/img"_s;
        ASSERT_TRUE(w.Next(prompt));
        w.KeepVersions = false;
        w.VersionsToKeep = u"abc"_s;
        ASSERT_TRUE(w.Save(prompt, wrSaveAndRun));
    };
    const int row = commands->NewJob();
    ASSERT_EQ(row, 0);
    EXPECT_EQ(prompt.asked, (QStringList{u"Message: Please add one or more sources to the list"_s,
                                         u"Message: Please choose a disk"_s}));
    auto& job = static_cast<TJob_DriveImage&>(catalogue->At(0));
    EXPECT_EQ(job.Settings.SourceDrivesList, (QStringList{u"/"_s, u"/mnt/d"_s}));
    EXPECT_EQ(job.Settings.NumberOfBackupVersionsToKeep, u"abc"_s);
    EXPECT_EQ(job.DestinationType, dtNetwork);
    EXPECT_TRUE(job.NewSubfolderIsCreatedForEachBackup);
    EXPECT_EQ(job.JobStatus, jsWaiting);

    // Editing: a destination drive that is not there fails the destination page.
    job.JobStatus = jsNone;
    job.DestinationType = dtExternalDevice;
    job.DestinationPath = QString();
    windows.imageStep = [&](TImageWizard& w) {
        EXPECT_EQ(w.CheckedDrives, (QStringList{u"/"_s, u"/mnt/d"_s}));
        ASSERT_TRUE(w.Next(prompt));
        const std::optional<TWizardMessage> message = w.CheckPage(TImageWizard::pgDestination);
        ASSERT_TRUE(message);
        EXPECT_EQ(message->Text, u"Please choose a disk"_s);
    };
    EXPECT_FALSE(commands->EditJob(0));
    EXPECT_EQ(windows.titles.last(), u" Properties - System"_s);
}

TEST_F(JobWizardTest, SourceTreeCheckStates) {
    TSourceTreeModel model({source});
    const QString a = JoinPath(source, u"a"_s);
    model.SetChecked(a, true);
    EXPECT_EQ(model.Selection(), QStringList{a + u"/*"_s});
    EXPECT_EQ(model.CheckStateOf(a), Qt::Checked);
    EXPECT_EQ(model.CheckStateOf(JoinPath(a, u"x"_s)), Qt::Checked);
    EXPECT_EQ(model.CheckStateOf(source), Qt::PartiallyChecked);
    EXPECT_EQ(model.CheckStateOf(JoinPath(source, u"b"_s)), Qt::Unchecked);

    // Unchecking inside a checked folder leaves its other items checked.
    model.SetChecked(JoinPath(a, u"x"_s), false);
    QStringList rest = model.Selection();
    rest.sort();
    EXPECT_EQ(rest, (QStringList{JoinPath(a, u"file.txt"_s), JoinPath(a, u"y/*"_s)}));
    EXPECT_EQ(model.CheckStateOf(a), Qt::PartiallyChecked);
    EXPECT_EQ(model.CheckStateOf(JoinPath(a, u"x"_s)), Qt::Unchecked);

    // Checking the folder again takes its checked items into it.
    model.SetChecked(a, true);
    EXPECT_EQ(model.Selection(), QStringList{a + u"/*"_s});
    model.SetChecked(a, false);
    EXPECT_TRUE(model.Selection().isEmpty());

    // The view sees the same through the model's index and data.
    const QModelIndex b = model.IndexOf(JoinPath(source, u"b"_s));
    ASSERT_TRUE(b.isValid());
    EXPECT_TRUE(model.setData(b, Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(model.data(b, Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(model.data(model.index(0, 0), Qt::CheckStateRole).toInt(), Qt::PartiallyChecked);

    // Hidden folders only on request.
    EXPECT_FALSE(model.IndexOf(JoinPath(source, u".hidden"_s)).isValid());
    model.SetShowHidden(true);
    EXPECT_TRUE(model.IndexOf(JoinPath(source, u".hidden"_s)).isValid());
    EXPECT_EQ(model.Selection(), QStringList{JoinPath(source, u"b/*"_s)});
}

// A folder opened in the view is read on a worker; its items arrive through the event loop, and a
// reading that comes back after the tree was rebuilt is dropped.
TEST_F(JobWizardTest, SourceTreeReadsOpenedFoldersInTheBackground) {
    TSourceTreeModel model({source});
    const QModelIndex root = model.index(0, 0);
    ASSERT_TRUE(model.canFetchMore(root));
    model.fetchMore(root);
    EXPECT_FALSE(model.canFetchMore(root));
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return !model.Reading(); }));
    ASSERT_EQ(model.rowCount(root), 2);
    EXPECT_EQ(model.data(model.index(0, 0, root), Qt::DisplayRole).toString(), u"a"_s);
    EXPECT_EQ(model.data(model.index(1, 0, root), Qt::DisplayRole).toString(), u"b"_s);

    model.SetShowHidden(true);
    const QModelIndex again = model.index(0, 0);
    model.fetchMore(again);
    model.SetShowHidden(false); // rebuilt while the reading is under way
    const QModelIndex fresh = model.index(0, 0);
    model.fetchMore(fresh);
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return !model.Reading(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 2);
}

// An opened job's sources that went away are found on a worker and taken out of the wizard.
TEST_F(JobWizardTest, OpenedJobLosesOnlyTheSourcesThatAreGone) {
    const QString folder = JoinPath(source, u"a/*"_s);
    const QString file = JoinPath(source, u"a/file.txt"_s);
    const QStringList entries{
        folder,
        file,
        JoinPath(source, u"gone/*"_s),       // folder removed
        JoinPath(source, u"gone.txt"_s),     // file removed
        JoinPath(source, u"a/file.txt/*"_s), // a folder entry that is now a file
        JoinPath(source, u"a/x"_s),          // a file entry that is now a folder
    };
    const QStringList missing = MissingSources(entries);
    EXPECT_EQ(missing, entries.mid(2));

    TJob_FilesAndFolders job(u"Docs"_s);
    job.Settings.Sources.List = entries;
    TFilesWizard wizard;
    wizard.JobToControls(job);
    EXPECT_EQ(wizard.Sources, entries); // nothing looked at on the interface thread
    wizard.DropSources(missing);
    EXPECT_EQ(wizard.Sources, (QStringList{folder, file}));
}

// The destination page takes a window's answer about the folder and does not look again.
TEST_F(JobWizardTest, DestinationCheckUsesTheAnswerItIsGiven) {
    TFilesWizard wizard;
    test::ScriptedPrompt prompt;
    wizard.Sources = {JoinPath(source, u"a/*"_s)};
    ASSERT_TRUE(wizard.Next(prompt));
    EXPECT_EQ(wizard.FolderToCheck(), QString());
    wizard.Destination.LocalPath = target;
    EXPECT_EQ(wizard.FolderToCheck(), target);
    EXPECT_FALSE(wizard.Next(prompt, {}, false)); // gone since the window asked
    EXPECT_EQ(prompt.asked, QStringList{u"Message: Please choose existing folder"_s});
    ASSERT_TRUE(wizard.Next(prompt, {}, true));
    EXPECT_EQ(wizard.FolderToCheck(), QString()); // the method page looks at no folder
    wizard.Back();
    wizard.Destination.Network = true;
    EXPECT_EQ(wizard.FolderToCheck(), QString());
}

TEST(OffThreadCalls, HandsResultsToItsOwnThreadAndDropsThemOnceGone) {
    const std::thread::id interfaceThread = std::this_thread::get_id();
    std::vector<int> results;
    std::thread::id workerThread;
    std::thread::id doneThread;
    auto calls = std::make_unique<TOffThreadCalls>();
    calls->Start(
        [&] {
            workerThread = std::this_thread::get_id();
            return 42;
        },
        [&](int result) {
            doneThread = std::this_thread::get_id();
            results.push_back(result);
        });
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return !results.empty(); }));
    EXPECT_NE(workerThread, interfaceThread);
    EXPECT_EQ(doneThread, interfaceThread);

    // A result still on its way when the object goes is never delivered.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    auto finished = std::make_shared<std::atomic<bool>>(false);
    calls->Start(
        [released, finished] {
            released.wait();
            *finished = true;
            return 7;
        },
        [&](int result) { results.push_back(result); });
    calls.reset();
    release.set_value();
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return finished->load(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(results, std::vector<int>{42});
}

TEST(ConnectionTest, ReportsTheStoragesOwnErrorForAWrongPassword) {
    MORVANE_REQUIRE_SAMBA(server);
    TConnectionTest test;
    std::vector<std::pair<bool, QString>> results;
    QObject::connect(&test, &TConnectionTest::Finished,
                     [&](bool connected, const QString& error) { results.emplace_back(connected, error); });
    ASSERT_TRUE(test.Start(server->UncPath(), server->User(), u"wrong"_s));
    EXPECT_FALSE(test.Start(server->UncPath(), server->User(), server->Password()));
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return results.size() == 1; }));
    EXPECT_FALSE(results[0].first);
    EXPECT_FALSE(results[0].second.isEmpty());
    ASSERT_TRUE(test.Start(server->UncPath(), server->User(), server->Password()));
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return results.size() == 2; }));
    EXPECT_TRUE(results[1].first);
    EXPECT_TRUE(results[1].second.isEmpty());
}

} // namespace
} // namespace morvane
