#include "fixtures/temp_home.h"
#include "formats/events_log.h"
#include "jobs/job.h"
#include "platform/program_state.h"

#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

class JobTest : public testing::TempHomeTest {};

TEST_F(JobTest, NewFilesAndFoldersJobHasItsDefaults) {
    const TJob_FilesAndFolders job(u"Docs"_s);
    EXPECT_EQ(job.stJobName, u"Docs");
    EXPECT_EQ(job.JobStatus, jsNone);
    EXPECT_EQ(job.Settings.Backup.BackupType, btInc);
    EXPECT_EQ(job.Settings.Backup.PerformFullBackup_EveryCopies, 5);
    EXPECT_EQ(job.Settings.Backup.NumberFullCopiesToKeep, 10);
    EXPECT_FALSE(job.Settings.Backup.RemoveOldBackupsBeforeStartingNewBackup);
    EXPECT_EQ(job.Settings.Sources.FilterType, ftNoFilters);
    EXPECT_TRUE(job.Settings.Sources.List.isEmpty());
    EXPECT_EQ(job.SchedulingSettings.SchedulingType, stDisabled);
    EXPECT_EQ(job.DestinationType, dtExternalDevice);
    EXPECT_TRUE(job.NewSubfolderIsCreatedForEachBackup);
    EXPECT_TRUE(job.CanPause);
    EXPECT_EQ(job.LastJobResult.StartTime, 0.0);
    EXPECT_EQ(job.LastJobResult.EndTime, 0.0);
    for (const bool day : job.SchedulingSettings.DaysOfWeek)
        EXPECT_FALSE(day);
    for (const bool day : job.SchedulingSettings.DaysOfMonth)
        EXPECT_FALSE(day);
}

TEST_F(JobTest, NewDriveImageJobCannotPause) {
    TJob_DriveImage job(u"System"_s);
    EXPECT_FALSE(job.CanPause);
    EXPECT_EQ(job.Settings.NumberOfBackupVersionsToKeep, u"3");
    EXPECT_FALSE(job.Settings.AutocleanOldBackups);
    job.JobStatus = jsRunning;
    job.Pause();
    EXPECT_EQ(job.JobStatus, jsRunning);
}

TEST_F(JobTest, PauseOnlyPausesARunningJob) {
    const std::pair<TJobStatus, TJobStatus> cases[] = {{jsRunning, jsPaused},
                                                       {jsNone, jsNone},
                                                       {jsWaiting, jsWaiting},
                                                       {jsCancelling, jsCancelling},
                                                       {jsPaused, jsPaused}};
    for (const auto& [before, after] : cases) {
        TJob_FilesAndFolders job(u"J"_s);
        job.JobStatus = before;
        job.Pause();
        EXPECT_EQ(job.JobStatus, after) << int(before);
    }
}

TEST_F(JobTest, CancelActsByStatus) {
    FakeClock clock(QDateTime(QDate(2026, 5, 6), QTime(7, 8, 9)));
    SetClock(&clock);
    struct Case {
        TJobStatus before;
        TJobStatus after;
        bool cancelFlagSet;
        bool eventWritten;
    };
    const Case cases[] = {
        {jsNone, jsNone, false, false},
        {jsWaiting, jsNone, false, false},
        {jsRunning, jsCancelling, true, true},
        {jsPaused, jsCancelling, true, true},
        {jsCancelling, jsCancelling, false, false},
    };
    for (const Case& c : cases) {
        TJob_FilesAndFolders job(u"Photos"_s);
        job.JobStatus = c.before;
        job.Cancel();
        EXPECT_EQ(job.JobStatus, c.after) << int(c.before);
        EXPECT_EQ(job.CancelCurrentFileOperation == -1, c.cancelFlagSet) << int(c.before);
        const QStringList events = TakeEventTexts();
        EXPECT_EQ(events, c.eventWritten ? QStringList{u"Cancelling (Photos)"_s} : QStringList{})
            << int(c.before);
    }
    SetClock(nullptr);
}

TEST_F(JobTest, CancellingAWaitingJobStampsTheResultButKeepsItsCounts) {
    FakeClock clock(QDateTime(QDate(2026, 5, 6), QTime(7, 8, 9)));
    SetClock(&clock);
    TJob_FilesAndFolders job(u"J"_s);
    job.JobStatus = jsWaiting;
    job.LastJobResult.Log = QStringList{u"old line"_s};
    job.LastJobResult.ErrorsCount = 3;
    job.LastJobResult.WarningsCount = 2;
    job.LastJobResult.Cancelled = true;
    job.Cancel();
    const TDateTime now = ToDateTimeValue(clock.CurrentDateTime());
    EXPECT_EQ(job.LastJobResult.StartTime, now);
    EXPECT_EQ(job.LastJobResult.EndTime, now);
    EXPECT_TRUE(job.LastJobResult.Log.isEmpty());
    EXPECT_EQ(job.LastJobResult.ErrorsCount, 3);
    EXPECT_EQ(job.LastJobResult.WarningsCount, 2);
    EXPECT_TRUE(job.LastJobResult.Cancelled);
    SetClock(nullptr);
}

TEST_F(JobTest, TranslateTextUsesTheJobsCopyUntilTheProgramCloses) {
    TOptions options;
    options.Language.iLanguage = 1;
    options.Language.Translations = {{u"English"_s, u"en"_s, u"Cancelling"_s, u"Untranslated"_s},
                                     {u"Deutsch"_s, u"de"_s, u"Abbrechen"_s, QString()}};
    TJob_FilesAndFolders job(u"J"_s);
    EXPECT_EQ(job.TranslateText(u"Cancelling"_s), u"Cancelling"); // no copy taken yet
    job.OptionsToJobOptions(options);
    EXPECT_EQ(job.TranslateText(u"Cancelling"_s), u"Abbrechen");
    EXPECT_EQ(job.TranslateText(u"Untranslated"_s), u"Untranslated");
    options.Language.Translations[1][2] = u"Changed later"_s;
    EXPECT_EQ(job.TranslateText(u"Cancelling"_s), u"Abbrechen"); // the copy is the job's own
    Program().ClosingRequested = true;
    EXPECT_EQ(job.TranslateText(u"Cancelling"_s), u"Cancelling");
}

TEST_F(JobTest, OptionsCopyIsIndependentOfTheSource) {
    TOptions options;
    options.ExcludedDirs = {u"/home/ann/.cache"_s};
    options.Logging.MaxNumberOfLogsForEachJob = 7;
    TJob_FilesAndFolders job(u"J"_s);
    job.JobOptions.ExcludedDirs = {u"stale"_s};
    job.OptionsToJobOptions(options);
    options.ExcludedDirs.append(u"/tmp"_s);
    options.Logging.MaxNumberOfLogsForEachJob = 1;
    EXPECT_EQ(job.JobOptions.ExcludedDirs, QStringList{u"/home/ann/.cache"_s});
    EXPECT_EQ(job.JobOptions.Logging.MaxNumberOfLogsForEachJob, 7);
}

TEST(CurrentFileOperationPathTest, KeepsTheFirst256UnitsAndClearsTheRest) {
    TCurrentFileOperationPath path;
    const QString longPath = u"/"_s + QString(300, u'x');
    path.Set(longPath);
    EXPECT_EQ(path.Text(), longPath.left(256));
    path.Set(u"/short"_s);
    EXPECT_EQ(path.Text(), u"/short");
    path.Set(QString());
    EXPECT_EQ(path.Text(), u"");
}

// A worker publishes progress while the interface thread reads it: under ThreadSanitizer this
// shows that the shared fields are race-free.
TEST(JobSharingTest, WorkerAndInterfaceShareProgressWithoutRaces) {
    TJob_FilesAndFolders job(u"J"_s);
    job.JobStatus = jsRunning;
    std::thread worker([&job] {
        for (int i = 0; i < 2000 && job.JobStatus != jsCancelling; ++i) {
            job.CurrentFileOperationPath.Set(QString(u"/data/file"_s + QString::number(i)));
            job.CurrentFileOperationProgress = i % 101;
            job.CurrentBackupFilesProcessed.fetch_add(1);
            job.CurrentBackupSize.fetch_add(100);
            job.LastJobResult.ErrorsCount.fetch_add(i % 2);
        }
    });
    int reads = 0;
    while (job.CurrentBackupFilesProcessed < 2000 && reads < 100000) {
        const QString shown = job.CurrentFileOperationPath.Text();
        EXPECT_LE(shown.size(), 256);
        EXPECT_LE(job.CurrentFileOperationProgress, 100);
        ++reads;
    }
    job.Cancel();
    worker.join();
    EXPECT_EQ(job.JobStatus, jsCancelling);
    TakePendingEvents();
}

} // namespace
} // namespace morvane
