// Duplicating, renaming and removing jobs with their folders on a local storage and on a share.

#include "core/job_commands.h"

#include "core/jobs_catalogue.h"
#include "fixtures/samba_server.h"
#include "fixtures/temp_home.h"
#include "jobs/job_file.h"
#include "options/options.h"
#include "platform/date_time.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::WriteFileBytes;

class JobCatalogueCommandsTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        TOptions& options = GlobalOptions();
        options = DefaultOptions();
        options.Processing.IfDestinationNotAvailable_Retry_Times = 0;
        options.Processing.IfDestinationNotAvailable_Wait_Sec = 0;
        options.Logging.PathForLogFiles = HomePath(u"logs"_s);
        catalogue = std::make_unique<TJobsCatalogue>(AppDir());
        WriteFileBytes(HomePath(u"src/docs/a.txt"_s), "a");
        ASSERT_TRUE(QDir().mkpath(HomePath(u"dest"_s)));
    }
    void TearDown() override {
        catalogue.reset();
        if (!served.isEmpty())
            QDir(served).removeRecursively();
        TempHomeTest::TearDown();
    }

    TJob_FilesAndFolders& Create(const QString& name, const QString& destination) {
        TNewFilesJobSettings settings;
        settings.Sources = {HomePath(u"src/docs"_s)};
        settings.Destination = destination;
        const TJobCommandResult result = CreateFilesJob(*catalogue, name, name, settings);
        EXPECT_EQ(result.Outcome, JobCommandOutcome::Done) << result.Message.toStdString();
        return *dynamic_cast<TJob_FilesAndFolders*>(result.Job);
    }

    // A backup in a second of its own, so each run gets its own folder.
    static void RunBackup(TJob_FilesAndFolders& job) {
        QThread::msleep(1100);
        job.Backup();
        job.WaitForWorker();
        ASSERT_EQ(job.LastJobResult.ErrorsCount, 0) << job.LastJobResult.Log.join(u'\n').toStdString();
        ASSERT_FALSE(job.LastJobResult.Cancelled) << job.LastJobResult.Log.join(u'\n').toStdString();
    }

    // The whole rename as a command-line user sees it.
    TJobCommandResult Rename(TJob& job, const QString& typed) {
        const TRenameCheck check = CheckRename(*catalogue, job, typed);
        EXPECT_TRUE(check.Proceed) << check.Message.toStdString();
        job.OptionsToJobOptions();
        const TRenameSteps steps = ChangeName(job, check.Name, AppDir());
        return FinishRename(*catalogue, job, check.Name, steps);
    }

    static QStringList Folders(const QString& path) {
        return QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    }

    std::unique_ptr<TJobsCatalogue> catalogue;
    QString served; // a folder on the test share to clean up
};

TEST_F(JobCatalogueCommandsTest, DuplicateNamesAreTheNextFreeOne) {
    Create(u"Docs"_s, HomePath(u"dest"_s));
    EXPECT_EQ(NextDuplicateName(*catalogue, u"Docs"_s), u"Docs (Duplicated)"_s);
    // Taken in any letter case counts as taken.
    Create(u"docs (duplicated)"_s, HomePath(u"dest"_s));
    EXPECT_EQ(NextDuplicateName(*catalogue, u"Docs"_s), u"Docs (Duplicated 2)"_s);
    Create(u"Docs (Duplicated 2)"_s, HomePath(u"dest"_s));
    EXPECT_EQ(NextDuplicateName(*catalogue, u"Docs"_s), u"Docs (Duplicated 3)"_s);
}

TEST_F(JobCatalogueCommandsTest, ADuplicateHasTheSettingsButNothingOfTheRuns) {
    TJob_FilesAndFolders& source = Create(u"Docs"_s, HomePath(u"dest"_s));
    source.Settings.Backup.NumberFullCopiesToKeep = 3;
    source.SchedulingSettings.SchedulingType = stDaysOfWeek;
    source.SchedulingSettings.TimeTable = {u"08:00:00"_s};
    RunBackup(source);
    ASSERT_FALSE(source.LogList.isEmpty());
    TakeEventTexts();

    const TJobCommandResult result = DuplicateJob(*catalogue, source, u"Copy"_s, u" Copy"_s);
    ASSERT_EQ(result.Outcome, JobCommandOutcome::Done) << result.Message.toStdString();
    EXPECT_EQ(TakeEventTexts(), QStringList{u"Created new job: \" Copy\"."_s});

    TJobsCatalogue reloaded(AppDir());
    ASSERT_TRUE(reloaded.LoadJobsListAndJobs());
    ASSERT_EQ(reloaded.Count(), 2);
    auto* copy = dynamic_cast<TJob_FilesAndFolders*>(&reloaded.At(1));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->stJobName, u"Copy"_s);
    EXPECT_EQ(copy->Settings.Sources.List, source.Settings.Sources.List);
    EXPECT_EQ(copy->Settings.Backup.NumberFullCopiesToKeep, 3);
    EXPECT_EQ(copy->SchedulingSettings.TimeTable, source.SchedulingSettings.TimeTable);
    EXPECT_EQ(copy->DestinationPath, source.DestinationPath);
    EXPECT_TRUE(copy->LogList.isEmpty());
    EXPECT_TRUE(copy->BackupHistory.isEmpty());
    EXPECT_EQ(copy->LastJobResult.EndTime.load(), 0);

    // Its first run starts a chain of its own beside the source's.
    auto& added = static_cast<TJob_FilesAndFolders&>(*result.Job);
    RunBackup(added);
    EXPECT_EQ(Folders(HomePath(u"dest"_s)), (QStringList{u"Copy"_s, u"Docs"_s}));
    EXPECT_EQ(Folders(HomePath(u"dest/Docs"_s)).size(), 1);
}

TEST_F(JobCatalogueCommandsTest, RenameNamesAreChecked) {
    TJob_FilesAndFolders& job = Create(u"Docs"_s, HomePath(u"dest"_s));
    Create(u"Other"_s, HomePath(u"dest"_s));
    struct Case {
        QString typed;
        bool proceed;
        QString name;
        QString message;
    };
    const QString forbidden = u"The following symbols are not allowed in the title:\r\n\r\n<>:\"/\\|?*"_s;
    const Case cases[] = {
        {u"  "_s, false, QString(), QString()},
        {u"Docs"_s, false, u"Docs"_s, QString()},
        {u" Docs "_s, false, u"Docs"_s, QString()},
        {u"docs"_s, false, u"docs"_s, u"Job \"docs\" already exists. Please specify another name."_s},
        {u" OTHER"_s, false, u"OTHER"_s, u"Job \" OTHER\" already exists. Please specify another name."_s},
        {u"a<b"_s, false, u"a<b"_s, forbidden},
        {u" Papers "_s, true, u"Papers"_s, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        const TRenameCheck check = CheckRename(*catalogue, job, c.typed);
        EXPECT_EQ(check.Proceed, c.proceed);
        EXPECT_EQ(check.Name, c.name);
        EXPECT_EQ(check.Message, c.message);
    }
}

TEST_F(JobCatalogueCommandsTest, RenamingAJobThatNeverRanTouchesOnlyItsJobFile) {
    TJob_FilesAndFolders& job = Create(u"Docs"_s, HomePath(u"dest"_s));
    // A folder of that name on the storage is not the job's: it has never written there.
    ASSERT_TRUE(QDir().mkpath(HomePath(u"dest/Docs"_s)));
    TakeEventTexts();

    const TJobCommandResult result = Rename(job, u"Papers"_s);
    ASSERT_EQ(result.Outcome, JobCommandOutcome::Done) << result.Message.toStdString();
    EXPECT_EQ(job.stJobName, u"Papers"_s);
    EXPECT_EQ(Folders(HomePath(u"dest"_s)), QStringList{u"Docs"_s});
    EXPECT_FALSE(QFile::exists(catalogue->JobFilePath(u"Docs"_s)));
    EXPECT_TRUE(QFile::exists(catalogue->JobFilePath(u"Papers"_s)));
    EXPECT_EQ(TakeEventTexts(), QStringList{u"Job \"Docs\" is renamed to \"Papers\"."_s});
    TJobsCatalogue reloaded(AppDir());
    ASSERT_TRUE(reloaded.LoadJobsListAndJobs());
    ASSERT_EQ(reloaded.Count(), 1);
    EXPECT_EQ(reloaded.At(0).stJobName, u"Papers"_s);
}

TEST_F(JobCatalogueCommandsTest, AJobWhoseRunsNeverReachedTheStorageIsRenamedHere) {
    TJob_FilesAndFolders& job = Create(u"Docs"_s, HomePath(u"dest"_s));
    job.LastJobResult.EndTime = Now();
    const TJobCommandResult result = Rename(job, u"Papers"_s);
    ASSERT_EQ(result.Outcome, JobCommandOutcome::Done) << result.Log.join(u'\n').toStdString();
    EXPECT_TRUE(Folders(HomePath(u"dest"_s)).isEmpty());
    EXPECT_TRUE(QFile::exists(catalogue->JobFilePath(u"Papers"_s)));

    // An unreachable storage still refuses: the job may have backups there.
    job.DestinationPath = HomePath(u"no-such-drive"_s);
    const TJobCommandResult refused = Rename(job, u"Letters"_s);
    EXPECT_EQ(refused.Outcome, JobCommandOutcome::Failed);
    EXPECT_EQ(job.stJobName, u"Papers"_s);
}

TEST_F(JobCatalogueCommandsTest, RenamingTakesTheBackupsAlongAndTheChainGoesOn) {
    TJob_FilesAndFolders& job = Create(u"Docs"_s, HomePath(u"dest"_s));
    RunBackup(job);
    ASSERT_TRUE(QFileInfo(HomePath(u"logs/Docs"_s)).isDir());
    TakeEventTexts();

    const TJobCommandResult result = Rename(job, u"Papers"_s);
    ASSERT_EQ(result.Outcome, JobCommandOutcome::Done) << result.Message.toStdString();
    EXPECT_EQ(job.JobStatus, jsNone);
    EXPECT_EQ(Folders(HomePath(u"dest"_s)), QStringList{u"Papers"_s});
    EXPECT_TRUE(QFile::exists(HomePath(u"dest/Papers.bmj"_s)));
    EXPECT_FALSE(QFile::exists(HomePath(u"dest/Docs.bmj"_s)));
    EXPECT_TRUE(QFileInfo(HomePath(u"logs/Papers"_s)).isDir());
    EXPECT_FALSE(QFileInfo(HomePath(u"logs/Docs"_s)).exists());
    EXPECT_TRUE(QFile::exists(catalogue->JobFilePath(u"Papers"_s)));
    const QString renamed = u"Renamed: "_s;
    ASSERT_EQ(result.Log.size(), 4) << result.Log.join(u'\n').toStdString();
    EXPECT_EQ(result.Log.at(0), renamed + HomePath(u"dest/Docs"_s) + u" -> "_s + HomePath(u"dest/Papers"_s));
    EXPECT_EQ(result.Log.at(1),
              renamed + HomePath(u"dest/Docs.bmj"_s) + u" -> "_s + HomePath(u"dest/Papers.bmj"_s));
    EXPECT_TRUE(TakeEventTexts().contains(u"Job \"Docs\" is renamed to \"Papers\"."_s));

    // The renamed job owns its folder still: the next run adds to the chain there.
    RunBackup(job);
    EXPECT_EQ(Folders(HomePath(u"dest/Papers"_s)).size(), 2);
}

TEST_F(JobCatalogueCommandsTest, AnImportedJobThatNeverRanHereTakesItsFolderAlong) {
    TJob_FilesAndFolders& job = Create(u"Docs"_s, HomePath(u"dest"_s));
    RunBackup(job);
    ASSERT_EQ(RemoveJobFromCatalogue(*catalogue, job, false).Outcome, JobCommandOutcome::Done);
    const TJobCommandResult imported =
        ImportStorageCopy(*catalogue, HomePath(u"dest/Docs.bmj"_s), u"Docs"_s, {}, {});
    ASSERT_EQ(imported.Outcome, JobCommandOutcome::Done) << imported.Message.toStdString();
    // Its backups are on the storage although it has no run of its own here.
    imported.Job->LastJobResult.EndTime = 0;

    const TJobCommandResult result = Rename(*imported.Job, u"Papers"_s);
    ASSERT_EQ(result.Outcome, JobCommandOutcome::Done) << result.Message.toStdString();
    EXPECT_EQ(Folders(HomePath(u"dest"_s)), QStringList{u"Papers"_s});
    EXPECT_TRUE(QFile::exists(HomePath(u"dest/Papers.bmj"_s)));
    RunBackup(static_cast<TJob_FilesAndFolders&>(*imported.Job));
    EXPECT_EQ(Folders(HomePath(u"dest/Papers"_s)).size(), 2);
}

TEST_F(JobCatalogueCommandsTest, AFailedRenameLeavesTheJobWithItsBackups) {
    struct Case {
        const char* what;
        QString blocker; // made a folder before the rename, so the step that needs it fails
        QStringList lines;
    };
    const QString dest = HomePath(u"dest"_s);
    const Case cases[] = {
        {"the new folder exists",
         u"Papers"_s,
         {u"Not renamed: "_s + dest + u"/Docs -> "_s + dest + u"/Papers"_s}},
        {"the storage copy cannot take the name",
         u"Papers.bmj"_s,
         {u"Renamed: "_s + dest + u"/Docs -> "_s + dest + u"/Papers"_s,
          u"Not renamed: "_s + dest + u"/Docs.bmj -> "_s + dest + u"/Papers.bmj"_s,
          u"Renamed: "_s + dest + u"/Papers -> "_s + dest + u"/Docs"_s}},
    };
    TJob_FilesAndFolders& job = Create(u"Docs"_s, dest);
    RunBackup(job);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(QDir().mkpath(dest + u'/' + c.blocker + u"/kept"_s));
        TakeEventTexts();
        const TJobCommandResult result = Rename(job, u"Papers"_s);
        EXPECT_EQ(result.Outcome, JobCommandOutcome::Failed);
        EXPECT_EQ(result.Message,
                  u"Unable to rename the job. Please learn last error messages in the Events log."_s);
        EXPECT_EQ(result.Log, c.lines);
        EXPECT_EQ(job.stJobName, u"Docs"_s);
        EXPECT_EQ(Folders(dest + u"/Docs"_s).size(), 1);
        EXPECT_TRUE(QFile::exists(dest + u"/Docs.bmj"_s));
        EXPECT_TRUE(QFile::exists(catalogue->JobFilePath(u"Docs"_s)));
        EXPECT_TRUE(QFileInfo(HomePath(u"logs/Docs"_s)).isDir());
        EXPECT_FALSE(TakeEventTexts().contains(u"Job \"Docs\" is renamed to \"Papers\"."_s));
        ASSERT_TRUE(QDir(dest + u'/' + c.blocker).removeRecursively());
    }
    RunBackup(job);
    EXPECT_EQ(Folders(dest + u"/Docs"_s).size(), 2);
}

TEST_F(JobCatalogueCommandsTest, RemovingTheBackupsOfAJobWithNoneIsNoFailure) {
    TJob_FilesAndFolders& job = Create(u"Docs"_s, HomePath(u"dest"_s));
    ASSERT_TRUE(QDir().mkpath(HomePath(u"dest/Other"_s)));
    const TJobCommandResult result = RemoveJobFromCatalogue(*catalogue, job, true);
    EXPECT_EQ(result.Outcome, JobCommandOutcome::Done) << result.Message.toStdString();
    EXPECT_EQ(catalogue->Count(), 0);
    EXPECT_EQ(Folders(HomePath(u"dest"_s)), QStringList{u"Other"_s});
}

TEST_F(JobCatalogueCommandsTest, RenameAndRemovalOnAShare) {
    MORVANE_REQUIRE_SAMBA(server);
    const QString folder = u"names-"_s + QString::number(QRandomGenerator::global()->generate());
    served = server->ShareFolder() + u'/' + folder;
    ASSERT_TRUE(QDir().mkpath(served));
    TJob_FilesAndFolders& job = Create(u"Docs"_s, server->UncPath(folder));
    ASSERT_EQ(job.DestinationType, dtNetwork);
    job.Destination_NetworkUsername = server->User();
    job.Destination_NetworkPassword = server->Password();
    RunBackup(job);
    ASSERT_EQ(Folders(served), QStringList{u"Docs"_s});

    const TJobCommandResult renamed = Rename(job, u"Papers"_s);
    ASSERT_EQ(renamed.Outcome, JobCommandOutcome::Done)
        << renamed.Message.toStdString() << renamed.Log.join(u'\n').toStdString();
    EXPECT_EQ(Folders(served), QStringList{u"Papers"_s});
    EXPECT_TRUE(QFile::exists(served + u"/Papers.bmj"_s));
    EXPECT_FALSE(QFile::exists(served + u"/Docs.bmj"_s));
    RunBackup(job);
    EXPECT_EQ(Folders(served + u"/Papers"_s).size(), 2);

    // A wrong password leaves everything as it was and says why.
    job.Destination_NetworkPassword = u"wrong"_s;
    job.OptionsToJobOptions();
    const TRenameSteps refused = ChangeName(job, u"Letters"_s, AppDir());
    EXPECT_FALSE(refused.JobFile);
    EXPECT_FALSE(refused.StorageFolder);
    ASSERT_FALSE(refused.Lines.isEmpty());
    EXPECT_TRUE(refused.Lines.first().startsWith(u"ERROR:"_s)) << refused.Lines.first().toStdString();
    EXPECT_EQ(Folders(served), QStringList{u"Papers"_s});
    EXPECT_TRUE(QFile::exists(catalogue->JobFilePath(u"Papers"_s)));
    job.Destination_NetworkPassword = server->Password();

    TakeEventTexts();
    const TJobCommandResult removed = RemoveJobFromCatalogue(*catalogue, job, true);
    EXPECT_EQ(removed.Outcome, JobCommandOutcome::Done) << removed.Message.toStdString();
    EXPECT_TRUE(Folders(served).isEmpty());
    EXPECT_FALSE(QFile::exists(served + u"/Papers.bmj"_s));
    EXPECT_EQ(catalogue->Count(), 0);
    EXPECT_EQ(TakeEventTexts(),
              (QStringList{u"The backup folder has been removed successfully on the storage device."_s,
                           u"Job is removed."_s}));
}

} // namespace
} // namespace morvane
