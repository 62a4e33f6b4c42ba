// Drive-image runs that end before the imaging tool does any work, the removal without image deletion,
// and the storage check of a restore. The tool itself is started only in the end-to-end tests, on
// volumes of their own.

#include "image/recording_processes.h"
#include "image/restore_guidance.h"

#include "fixtures/temp_home.h"
#include "jobs/job.h"
#include "jobs/run_log.h"
#include "options/options.h"
#include "platform/date_time.h"
#include "platform/program_state.h"
#include "scheduler/scheduler_fakes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::RecordingProcesses;

class RecordingGuidance final : public TDriveImageRestoreGuidance {
public:
    void ShowRestoreGuidance() override { ++shown; }
    void ShowErrorMessage(const QString& text) override { errors.append(text); }
    int shown = 0;
    QStringList errors;
};

class DriveImageJobTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        SetClock(&clock_);
        GlobalOptions() = DefaultOptions();
        GlobalOptions().Processing.IfDestinationNotAvailable_Retry_Times = 0;
        ASSERT_TRUE(QDir().mkpath(Dest()));
        job.Settings.SourceDrivesList = {u"/"_s};
        job.DestinationPath = Dest();
        job.ProcessService = &processes;
    }
    void TearDown() override {
        job.WaitForWorker();
        SetClock(nullptr);
        TempHomeTest::TearDown();
    }

    QString Dest() const { return HomePath(u"dest"_s); }
    QString Timed(const QString& text) const {
        return LongTimeText(clock_.CurrentDateTime().time()) + u": "_s + text;
    }
    void RunBackup() {
        job.Backup();
        job.WaitForWorker();
    }
    QString MissingError() const {
        return u"ERROR: The directory does not exist: "_s + HomePath(u"missing"_s);
    }

    FakeClock clock_{QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9))};
    RecordingProcesses processes;
    TJob_DriveImage job{u"System"_s};
};

TEST_F(DriveImageJobTest, AnUnreachableStorageCancelsTheRunBeforeTheTool) {
    job.DestinationPath = HomePath(u"missing"_s);
    RunBackup();

    EXPECT_TRUE(processes.Started().empty());
    EXPECT_EQ(job.JobStatus, jsNone);
    EXPECT_TRUE(job.LastJobResult.Cancelled);
    EXPECT_EQ(job.LastJobResult.Log.last(), Timed(u"Backup is cancelled."_s));
    EXPECT_EQ(job.BackupHistory.last(),
              DateTimeText(clock_.CurrentDateTime()) + u": Backup is cancelled. "_s + MissingError());
    EXPECT_EQ(TakeEventTexts(), (QStringList{u"Starting the \"System\" backup."_s,
                                             u"\"System\" backup is cancelled: "_s + MissingError()}));
    // The log is kept and the job file written, as after every run.
    EXPECT_EQ(job.LogList, QStringList{LogFileStamp(Now())});
    EXPECT_TRUE(QFileInfo::exists(RunLogFilePath(job, job.LogList.last())));
    EXPECT_TRUE(QFileInfo::exists(AppDir() + u"/System.qkd"_s));
}

TEST_F(DriveImageJobTest, AToolThatCannotBeStartedEitherWayCancelsTheRunWithoutAStopCommand) {
    processes.replacement = HomePath(u"no such tool"_s);
    RunBackup();

    const std::vector<RecordingProcesses::Call> started = processes.Started();
    ASSERT_EQ(started.size(), 2u);
    EXPECT_EQ(started[0].program, u"morvane-imager");
    EXPECT_EQ(started[1].program, QCoreApplication::applicationDirPath() + u"/morvane-imager"_s);
    EXPECT_EQ(started[0].arguments, started[1].arguments);
    EXPECT_TRUE(started[0].arguments.startsWith(u"start backup -backupTarget:"_s));
    EXPECT_TRUE(processes.Launched().empty());

    const QStringList& log = job.LastJobResult.Log;
    EXPECT_TRUE(log.contains(Timed(u"ERROR:No such file or directory"_s))) << log.join(u'\n').toStdString();
    const qsizetype removing = log.indexOf(Timed(u"Removing the temporary files."_s));
    ASSERT_GE(removing, 1);
    EXPECT_EQ(log[removing - 1], Timed(u"Backup is cancelled."_s));
    EXPECT_TRUE(job.LastJobResult.Cancelled);
    EXPECT_EQ(job.JobStatus, jsNone);
    EXPECT_EQ(TakeEventTexts(),
              (QStringList{u"Starting the \"System\" backup."_s, u"\"System\" backup is cancelled."_s}));
    EXPECT_FALSE(QFileInfo::exists(Dest() + u"/System.bmj"_s));
}

TEST_F(DriveImageJobTest, ATemporaryFolderThatCannotBeMadeEndsTheRunThroughTheErrorEvent) {
    testing::WriteFileBytes(HomePath(u"a-file"_s), "in the way");
    GlobalOptions().General.PathForTempFiles = HomePath(u"a-file"_s);
    RunBackup();

    EXPECT_TRUE(processes.Started().empty());
    EXPECT_EQ(job.JobStatus, jsNone);
    const QStringList events = TakeEventTexts();
    ASSERT_EQ(events.size(), 2);
    EXPECT_TRUE(events[1].startsWith(u"Error occured in job \"System\": Not a directory"_s))
        << events[1].toStdString();
}

TEST_F(DriveImageJobTest, RestoreShowsTheGuidanceOnlyWhenTheStorageAnswers) {
    RecordingGuidance guidance;
    job.Restore(guidance);
    EXPECT_EQ(guidance.shown, 1);
    EXPECT_TRUE(guidance.errors.isEmpty());
    EXPECT_TRUE(TakeEventTexts().isEmpty());

    job.DestinationPath = HomePath(u"missing"_s);
    job.LastJobResult.ErrorsCount = 2;
    job.Restore(guidance);
    EXPECT_EQ(guidance.shown, 1);
    EXPECT_EQ(guidance.errors, QStringList{MissingError() + u"\r\n\"System\" restore is cancelled."_s});
    EXPECT_EQ(TakeEventTexts(), (QStringList{MissingError(), u"\"System\" restore is cancelled."_s}));
    // A failed check is not an error of the last run.
    EXPECT_EQ(job.LastJobResult.ErrorsCount, 2);
    EXPECT_TRUE(processes.Started().empty());
}

TEST_F(DriveImageJobTest, RemoveDeletesTheStorageCopyAndLeavesTheImagesUnlessAllowed) {
    const struct {
        const char* name;
        bool autoclean;
        int errorsOfLastRun;
    } cases[] = {
        {"old versions kept", false, 0},
        {"last run had errors", true, 1},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.name);
        testing::WriteFileBytes(Dest() + u"/System.bmj"_s, "storage copy");
        job.Settings.AutocleanOldBackups = item.autoclean;
        job.LastJobResult.ErrorsCount = item.errorsOfLastRun;
        EXPECT_FALSE(job.Remove());
        EXPECT_FALSE(QFileInfo::exists(Dest() + u"/System.bmj"_s));
        EXPECT_EQ(job.JobOperation, joRemove);
    }
    EXPECT_TRUE(processes.Launched().empty());

    job.DestinationPath = HomePath(u"missing"_s);
    job.Settings.AutocleanOldBackups = true;
    job.LastJobResult.ErrorsCount = 0;
    TakeEventTexts();
    EXPECT_FALSE(job.Remove());
    EXPECT_EQ(TakeEventTexts(), QStringList{MissingError()});
    EXPECT_TRUE(processes.Launched().empty());
}

// Whether the restart is accepted or not, the program closes.
TEST_F(DriveImageJobTest, RestartingIntoRecoveryClosesTheProgramWhateverTheAnswer) {
    for (const bool accepted : {true, false}) {
        Program().ClosingRequested = false;
        testing::FakePowerControl power;
        power.RestartSucceeds = accepted;
        RestartIntoRecoveryAndClose(power);
        EXPECT_EQ(power.Calls, QStringList{u"restart into recovery"_s});
        EXPECT_TRUE(Program().ClosingRequested);
    }
    Program().ClosingRequested = false;
}

} // namespace
} // namespace morvane
