#include "control/main_commands.h"

#include "engine/backup_fixture.h"
#include "fixtures/temp_home.h"
#include "formats/text_file.h"
#include "options/options.h"
#include "platform/paths.h"
#include "process_events.h"
#include "scripted_prompt.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QThread>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

const QString Refusal =
    u"Unable to complete the action at the moment. Please try again in several seconds."_s;

struct RecordingViewer final : IReportViewer {
    QStringList opened; // "path|true" or "path|false"
    void OpenReport(const QString& path, bool controls) override {
        opened.append(path + (controls ? u"|true"_s : u"|false"_s));
    }
};

// Records each question in order with whether it came on the interface thread.
struct RecordingRestoreDialogs final : TRestoreDialogs {
    std::optional<QString> output;
    std::optional<int> point;
    QStringList calls;
    QStringList shownPoints;
    bool allOnInterfaceThread = true;

    void Note(const QString& call) {
        calls.append(call);
        allOnInterfaceThread = allOnInterfaceThread && QThread::currentThread() == qApp->thread();
    }
    std::optional<QString> ChooseOutputDirectory(const QString&) override {
        Note(u"output"_s);
        return output;
    }
    void ShowRestorePointsLoading() override { Note(u"loading"_s); }
    void CloseRestorePoints() override { Note(u"close"_s); }
    std::optional<int> ChooseRestorePoint(const QStringList& names) override {
        Note(u"point"_s);
        shownPoints = names;
        return point;
    }
    void ShowErrorMessage(const QString& text) override { Note(u"error: "_s + text); }
    QString AskPassword(const QString&, const QString&) override {
        Note(u"password"_s);
        return {};
    }
};

struct RecordingGuidance final : TDriveImageRestoreGuidance {
    QStringList calls;
    void ShowRestoreGuidance() override { calls.append(u"guidance"_s); }
    void ShowErrorMessage(const QString& text) override { calls.append(u"error: "_s + text); }
};

class MainCommandsTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        catalogue = std::make_unique<TJobsCatalogue>(AppDir());
        GlobalOptions() = DefaultOptions();
        GlobalOptions().Logging.PathForLogFiles = HomePath(u"logs"_s);
        files = static_cast<TJob_FilesAndFolders*>(
            &catalogue->Append(std::make_unique<TJob_FilesAndFolders>(u"Docs"_s)));
        image =
            static_cast<TJob_DriveImage*>(&catalogue->Append(std::make_unique<TJob_DriveImage>(u"System"_s)));
        commands = std::make_unique<TMainCommands>(*catalogue, prompt, viewer, restoreDialogs, guidance,
                                                   [this] { return busy; });
    }
    void TearDown() override {
        commands.reset();
        catalogue.reset();
        TempHomeTest::TearDown();
    }

    QString LogPath(const QString& job, const QString& stem) const {
        return JoinPath(JoinPath(HomePath(u"logs"_s), job), stem + u".txt"_s);
    }

    test::ScriptedPrompt prompt;
    RecordingViewer viewer;
    RecordingRestoreDialogs restoreDialogs;
    RecordingGuidance guidance;
    bool busy = false;
    std::unique_ptr<TJobsCatalogue> catalogue;
    TJob_FilesAndFolders* files = nullptr;
    TJob_DriveImage* image = nullptr;
    std::unique_ptr<TMainCommands> commands;
};

TEST_F(MainCommandsTest, BackupMarksAnIdleJobWaiting) {
    commands->Backup(0);
    EXPECT_EQ(files->JobStatus, jsWaiting);
    EXPECT_TRUE(prompt.asked.isEmpty());
}

// Each command on a job that is not idle, or while a tick is busy: the refusal, and nothing else.
TEST_F(MainCommandsTest, CommandsRefuseOnABusyTickOrAJobThatIsNotIdle) {
    files->LogList = {u"2025-01-01 10;00;00"_s};
    QDir().mkpath(JoinPath(HomePath(u"logs"_s), u"Docs"_s));
    WriteTextFileLines(LogPath(u"Docs"_s, files->LogList.first()), {u"line"_s});
    struct Case {
        const char* name;
        std::function<void(TMainCommands&)> command;
        TJobStatus status;
        bool busy;
    };
    const Case cases[] = {
        {"backup running", [](TMainCommands& c) { c.Backup(0); }, jsRunning, false},
        {"backup waiting", [](TMainCommands& c) { c.Backup(0); }, jsWaiting, false},
        {"backup busy", [](TMainCommands& c) { c.Backup(0); }, jsNone, true},
        {"restore paused", [](TMainCommands& c) { c.Restore(0); }, jsPaused, false},
        {"restore busy", [](TMainCommands& c) { c.Restore(0); }, jsNone, true},
        {"pause busy", [](TMainCommands& c) { c.Pause(0); }, jsRunning, true},
        {"resume busy", [](TMainCommands& c) { c.Resume(0); }, jsPaused, true},
        {"cancel busy", [](TMainCommands& c) { c.Cancel(0); }, jsRunning, true},
        {"view log running", [](TMainCommands& c) { c.ViewLog(0); }, jsRunning, false},
        {"log entry cancelling", [](TMainCommands& c) { c.OpenLogEntry(0, u"2025-01-01 10:00:00"_s); },
         jsCancelling, false},
        {"history waiting", [](TMainCommands& c) { c.ViewHistory(0); }, jsWaiting, false},
    };
    for (const Case& c : cases) {
        prompt.asked.clear();
        files->JobStatus = c.status;
        busy = c.busy;
        c.command(*commands);
        EXPECT_EQ(prompt.asked, QStringList{u"Message: "_s + Refusal}) << c.name;
        EXPECT_EQ(files->JobStatus, c.status) << c.name;
        EXPECT_TRUE(restoreDialogs.calls.isEmpty()) << c.name;
        EXPECT_TRUE(viewer.opened.isEmpty()) << c.name;
    }
    EXPECT_FALSE(QFileInfo::exists(JoinPath(HomePath(u"logs"_s), u"history - Docs.txt"_s)));
}

TEST_F(MainCommandsTest, PauseResumeAndCancelActOnTheSelectedJob) {
    files->JobStatus = jsRunning;
    commands->Pause(0);
    EXPECT_EQ(files->JobStatus, jsPaused);
    commands->Resume(0);
    EXPECT_EQ(files->JobStatus, jsRunning);
    commands->Cancel(0);
    EXPECT_EQ(files->JobStatus, jsCancelling);
    // Resume never wakes a job that is not paused.
    commands->Resume(0);
    EXPECT_EQ(files->JobStatus, jsCancelling);
    EXPECT_TRUE(prompt.asked.isEmpty());
}

TEST_F(MainCommandsTest, PauseAllAndCancelAllDoNothingSilentlyWhileBusy) {
    files->JobStatus = jsRunning;
    image->JobStatus = jsRunning;
    busy = true;
    commands->PauseAll();
    commands->CancelAll();
    EXPECT_EQ(files->JobStatus, jsRunning);
    EXPECT_TRUE(prompt.asked.isEmpty());
    busy = false;
    commands->PauseAll();
    EXPECT_EQ(files->JobStatus, jsPaused);
    commands->CancelAll();
    EXPECT_EQ(files->JobStatus, jsCancelling);
    EXPECT_EQ(image->JobStatus, jsCancelling);
}

TEST_F(MainCommandsTest, CommandsWithoutASelectedJobDoNothing) {
    for (int row : {-1, 2}) {
        commands->Backup(row);
        commands->Restore(row);
        commands->Pause(row);
        commands->Cancel(row);
        commands->ViewLog(row);
        commands->ViewHistory(row);
        EXPECT_TRUE(commands->LogMenuEntries(row).isEmpty());
        EXPECT_EQ(commands->MoveUp(row), row);
    }
    EXPECT_TRUE(prompt.asked.isEmpty());
    EXPECT_TRUE(viewer.opened.isEmpty());
    EXPECT_EQ(files->JobStatus, jsNone);
}

TEST_F(MainCommandsTest, TheLogMenuOffersTheThirtyNewestLogsOldestFirst) {
    for (int i = 0; i < 45; ++i)
        files->LogList.append(
            QDateTime(QDate(2025, 1, 1), QTime(0, 0)).addSecs(i * 3661).toString(u"yyyy-MM-dd HH;mm;ss"_s));
    const QStringList entries = commands->LogMenuEntries(0);
    ASSERT_EQ(entries.size(), 30);
    EXPECT_EQ(entries.first(), QString(files->LogList[15]).replace(u';', u':'));
    EXPECT_EQ(entries.last(), QString(files->LogList[44]).replace(u';', u':'));
    for (const QString& entry : entries)
        EXPECT_FALSE(entry.contains(u';')) << entry.toStdString();

    // Opening an entry finds its file by the stored stem.
    const QString existing = LogPath(u"Docs"_s, files->LogList[20]);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(existing).path()));
    ASSERT_TRUE(WriteTextFileLines(existing, {u"a line"_s}));
    commands->OpenLogEntry(0, entries[5]);
    EXPECT_EQ(viewer.opened, QStringList{existing + u"|true"_s});

    commands->OpenLogEntry(0, entries[6]);
    EXPECT_EQ(prompt.asked,
              QStringList{u"Message: Log file does not exist: "_s + LogPath(u"Docs"_s, files->LogList[21])});
}

TEST_F(MainCommandsTest, ViewLogOpensTheNewestLogOrSaysItIsMissing) {
    commands->ViewLog(0);
    EXPECT_TRUE(prompt.asked.isEmpty() && viewer.opened.isEmpty()) << "no logs: nothing happens";

    files->LogList = {u"2025-01-01 10;00;00"_s, u"2025-01-02 10;00;00"_s};
    commands->ViewLog(0);
    EXPECT_EQ(prompt.asked, QStringList{u"Message: Log file does not exist: "_s +
                                        LogPath(u"Docs"_s, u"2025-01-02 10;00;00"_s)});
    ASSERT_TRUE(QDir().mkpath(JoinPath(HomePath(u"logs"_s), u"Docs"_s)));
    ASSERT_TRUE(WriteTextFileLines(LogPath(u"Docs"_s, u"2025-01-02 10;00;00"_s), {u"x"_s}));
    commands->ViewLog(0);
    EXPECT_EQ(viewer.opened, QStringList{LogPath(u"Docs"_s, u"2025-01-02 10;00;00"_s) + u"|true"_s});
}

TEST_F(MainCommandsTest, HistoryIsWrittenAfreshAndOpenedWithoutErrorControls) {
    const QString path = JoinPath(HomePath(u"logs"_s), u"history - Docs.txt"_s);
    testing::WriteFileBytes(path, "an older export that is much longer than the new one\r\n");
    files->BackupHistory = {u"01/01/2025 10:00:00: Starting the backup. Target: full copy"_s,
                            u"Ünïcode ok"_s};
    commands->ViewHistory(0);
    EXPECT_EQ(viewer.opened, QStringList{path + u"|false"_s});
    EXPECT_EQ(testing::ReadFileBytes(path),
              QByteArray("\xEF\xBB\xBF") + files->BackupHistory.join(u"\r\n"_s).toUtf8() + "\r\n");
}

TEST_F(MainCommandsTest, AboutNamesTheVersionAndTheWebSite) {
    commands->About();
    ASSERT_EQ(prompt.asked.size(), 1);
    EXPECT_EQ(prompt.asked.first(), u"Information: Morvane Backup\nVersion: 2.3\n\nWebsite: "_s +
                                        QString::fromUtf16(MakerWebAddress));
    EXPECT_TRUE(TMainCommands::UserGuideUrl().endsWith(u"/redirect/tutorial-morvane-backup.html"_s));
    EXPECT_TRUE(TMainCommands::SupportUrl().endsWith(u"/support.html"_s));
}

TEST_F(MainCommandsTest, MovingAJobReturnsItsNewRow) {
    EXPECT_EQ(commands->MoveUp(0), 0);
    EXPECT_EQ(commands->MoveDown(1), 1);
    EXPECT_EQ(commands->MoveDown(0), 1);
    EXPECT_EQ(&catalogue->At(1), files);
    EXPECT_EQ(commands->MoveUp(1), 0);
    EXPECT_EQ(&catalogue->At(0), files);
}

TEST_F(MainCommandsTest, ADriveImageRestoreWaitsForOtherJobsToFinish) {
    files->JobStatus = jsPaused;
    commands->Restore(1);
    EXPECT_EQ(prompt.asked, QStringList{u"Error: Some jobs are currently running."_s});
    EXPECT_TRUE(guidance.calls.isEmpty());
    EXPECT_EQ(image->JobStatus, jsNone);
}

TEST_F(MainCommandsTest, ADriveImageRestoreChecksTheStorageAwayFromTheInterfaceThread) {
    ASSERT_TRUE(QDir().mkpath(HomePath(u"images"_s)));
    image->DestinationPath = HomePath(u"images"_s);
    int steps = 0;
    QObject::connect(commands.get(), &TMainCommands::RestoreStepDone, [&] { ++steps; });
    commands->Restore(1);
    // The check runs on the job's worker; the job counts as busy until it reports back.
    EXPECT_EQ(image->JobStatus, jsRunning);
    EXPECT_TRUE(guidance.calls.isEmpty());
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return steps == 1; }));
    EXPECT_EQ(guidance.calls, QStringList{u"guidance"_s});
    EXPECT_EQ(image->JobStatus, jsNone);

    image->DestinationPath = HomePath(u"missing"_s);
    const int errorsBefore = image->LastJobResult.ErrorsCount;
    commands->Restore(1);
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return steps == 2; }));
    ASSERT_EQ(guidance.calls.size(), 2);
    EXPECT_TRUE(guidance.calls[1].startsWith(u"error: "_s)) << guidance.calls[1].toStdString();
    EXPECT_EQ(image->LastJobResult.ErrorsCount, errorsBefore);
    EXPECT_EQ(image->JobStatus, jsNone);
}

TEST_F(MainCommandsTest, CancellingTheOutputFolderEndsTheRestoreAtOnce) {
    commands->Restore(0);
    EXPECT_EQ(restoreDialogs.calls, QStringList{u"output"_s});
    EXPECT_EQ(files->JobStatus, jsNone);
}

// A real backup on a local storage, restored through the commands: the points are read on the job's
// worker while the interface thread goes on, and the run restores the files.
class MainCommandsRestoreTest : public testing::BackupTest {};

TEST_F(MainCommandsRestoreTest, ARestoreReadsItsPointsOffTheInterfaceThreadAndRestoresTheFiles) {
    job->Settings.Sources.List = {Source(u"Docs/*"_s)};
    WriteSource(u"Docs/a.txt"_s, "alpha");
    WriteSource(u"Docs/Sub/b.txt"_s, "beta");
    RunBackup();
    ASSERT_EQ(job->JobStatus, jsNone);

    TJobsCatalogue catalogue(AppDir());
    TJob_FilesAndFolders& restored = static_cast<TJob_FilesAndFolders&>(catalogue.Append(std::move(job)));
    test::ScriptedPrompt prompt;
    RecordingViewer viewer;
    RecordingRestoreDialogs dialogs;
    RecordingGuidance guidance;
    dialogs.output = HomePath(u"out"_s);
    dialogs.point = 0;
    ASSERT_TRUE(QDir().mkpath(*dialogs.output));
    TMainCommands commands(catalogue, prompt, viewer, dialogs, guidance, [] { return false; });
    bool stepDone = false;
    QObject::connect(&commands, &TMainCommands::RestoreStepDone, [&] { stepDone = true; });

    commands.Restore(0);
    // Back on the interface thread before any point was shown: the reading goes on elsewhere.
    EXPECT_EQ(dialogs.calls, (QStringList{u"output"_s, u"loading"_s}));
    EXPECT_EQ(restored.JobStatus, jsRunning);
    EXPECT_EQ(restored.JobOperation, joReadRestorePoints);

    ASSERT_TRUE(test::ProcessEventsUntil([&] { return stepDone; }));
    EXPECT_EQ(dialogs.calls, (QStringList{u"output"_s, u"loading"_s, u"close"_s, u"point"_s}));
    EXPECT_TRUE(dialogs.allOnInterfaceThread);
    EXPECT_EQ(dialogs.shownPoints.size(), 1);
    restored.WaitForWorker();
    EXPECT_EQ(restored.JobStatus, jsNone);
    EXPECT_FALSE(restored.LastJobResult.Cancelled) << restored.LastJobResult.Log.join(u'\n').toStdString();

    const QMap<QString, QByteArray> expected{{u"Docs/a.txt"_s, "alpha"}, {u"Docs/Sub/b.txt"_s, "beta"}};
    EXPECT_EQ(testing::TreeContents(*dialogs.output), expected);
}

TEST_F(MainCommandsRestoreTest, ARestoreCancelledWhileItsPointsAreReadAsksNoMore) {
    job->Settings.Sources.List = {Source(u"Docs/*"_s)};
    WriteSource(u"Docs/a.txt"_s, "alpha");
    RunBackup();
    TJobsCatalogue catalogue(AppDir());
    TJob& restored = catalogue.Append(std::move(job));
    test::ScriptedPrompt prompt;
    RecordingViewer viewer;
    RecordingRestoreDialogs dialogs;
    RecordingGuidance guidance;
    dialogs.output = HomePath(u"out"_s);
    dialogs.point = 0;
    ASSERT_TRUE(QDir().mkpath(*dialogs.output));
    TMainCommands commands(catalogue, prompt, viewer, dialogs, guidance, [] { return false; });
    bool stepDone = false;
    QObject::connect(&commands, &TMainCommands::RestoreStepDone, [&] { stepDone = true; });

    commands.Restore(0);
    commands.Cancel(0);
    ASSERT_TRUE(test::ProcessEventsUntil([&] { return stepDone; }));
    restored.WaitForWorker();
    EXPECT_EQ(dialogs.calls, (QStringList{u"output"_s, u"loading"_s, u"close"_s}));
    EXPECT_EQ(restored.JobStatus, jsNone);
    EXPECT_TRUE(restored.LastJobResult.Cancelled);
    EXPECT_TRUE(testing::TreeContents(*dialogs.output).isEmpty());
}

} // namespace
} // namespace morvane
