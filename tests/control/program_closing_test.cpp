#include "control/program_closing.h"

#include "fixtures/temp_home.h"
#include "platform/program_state.h"
#include "scripted_prompt.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <gtest/gtest.h>

#include <thread>

namespace morvane {
namespace {

class RecordingWindow final : public IClosingWindow {
public:
    QStringList calls;
    QStringList eventsLines;
    void SaveFormPosAndView() override { calls << QStringLiteral("save"); }
    void HideWindow() override { calls << QStringLiteral("hide"); }
    void AppendEventsLine(const QString& line) override { eventsLines << line; }
    void FinishClose() override { calls << QStringLiteral("close"); }
};

class ProgramClosingTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        Program().ClosingRequested = false;
    }
    void TearDown() override {
        for (auto& job : jobs)
            job->WaitForWorker();
        Program().ClosingRequested = false;
        TempHomeTest::TearDown();
    }
    // A job whose worker runs until it is cancelled (or, when `ignoreCancel`, until released).
    TJob& RunningJob(bool ignoreCancel = false) {
        auto job = std::make_unique<TJob_FilesAndFolders>(QStringLiteral("Job %1").arg(jobs.size()));
        TJob* raw = job.get();
        raw->JobStatus = jsRunning;
        raw->StartWorker([raw, ignoreCancel, this] {
            while (ignoreCancel ? !release : raw->CancelCurrentFileOperation == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            raw->LastJobResult.Cancelled = true;
            raw->JobStatus = jsNone;
        });
        jobs.push_back(std::move(job));
        return *raw;
    }
    std::vector<TJob*> List() {
        std::vector<TJob*> list;
        for (auto& job : jobs)
            list.push_back(job.get());
        return list;
    }
    // Runs the event loop until the closing has finished.
    void WaitForClose(TProgramClosing& closing) {
        QEventLoop loop;
        QObject::connect(&closing, &TProgramClosing::Closed, &loop, &QEventLoop::quit);
        if (!closing.Finished())
            loop.exec();
    }
    std::vector<std::unique_ptr<TJob>> jobs;
    std::atomic<bool> release{false};
    RecordingWindow window;
    test::ScriptedPrompt prompt;
};

TEST_F(ProgramClosingTest, ACloseAttemptHidesUntilTheProgramIsToEnd) {
    TProgramClosing closing([this] { return List(); }, window, prompt);
    closing.CloseQuery();
    EXPECT_EQ(window.calls, QStringList({"save", "hide"}));
    EXPECT_FALSE(closing.Finished());
}

TEST_F(ProgramClosingTest, QuitWithoutJobsAsksAndEnds) {
    TProgramClosing closing([this] { return List(); }, window, prompt);
    prompt.Push(false);
    closing.Quit();
    EXPECT_FALSE(Program().ClosingRequested);
    prompt.Push(true);
    closing.Quit();
    EXPECT_EQ(prompt.asked, QStringList({"Confirm: Quit Morvane Backup?", "Confirm: Quit Morvane Backup?"}));
    EXPECT_TRUE(Program().ClosingRequested);
    EXPECT_EQ(window.calls, QStringList({"save", "close"}));
    EXPECT_TRUE(window.eventsLines.isEmpty());
}

TEST_F(ProgramClosingTest, QuitWithARunningJobCancelsItAndEndsOnceItStopped) {
    TJob& job = RunningJob();
    TProgramClosing closing([this] { return List(); }, window, prompt);
    prompt.Push(true);
    closing.Quit();
    const QString question =
        QStringLiteral("Some jobs are currently running.\r\nDo you want to cancel them and quit?");
    EXPECT_EQ(prompt.asked, QStringList({QStringLiteral("Confirm: ") + question}));
    EXPECT_EQ(window.eventsLines, QStringList({question}));
    EXPECT_TRUE(closing.Waiting()) << "the wait runs on a timer, not inside Quit";
    EXPECT_EQ(window.calls, QStringList({"save"}));
    WaitForClose(closing);
    EXPECT_EQ(window.calls, QStringList({"save", "close"}));
    EXPECT_EQ(job.JobStatus, jsNone);
    EXPECT_TRUE(job.LastJobResult.Cancelled);
}

TEST_F(ProgramClosingTest, AnsweringNoKeepsTheJobRunning) {
    TJob& job = RunningJob();
    TProgramClosing closing([this] { return List(); }, window, prompt);
    prompt.Push(false);
    closing.Quit();
    EXPECT_EQ(job.JobStatus, jsRunning);
    EXPECT_FALSE(Program().ClosingRequested);
    EXPECT_TRUE(window.calls.isEmpty());
    job.Cancel();
}

TEST_F(ProgramClosingTest, AJobThatDoesNotStopIsAbandonedAfterTheWait) {
    TJob& job = RunningJob(true);
    TProgramClosing closing([this] { return List(); }, window, prompt);
    closing.SessionEnding();
    EXPECT_TRUE(prompt.asked.isEmpty()) << "the session's end asks nothing";
    WaitForClose(closing);
    EXPECT_EQ(window.calls, QStringList({"save", "close"}));
    EXPECT_EQ(job.JobStatus, jsCancelling);
    release = true;
}

TEST_F(ProgramClosingTest, ACancelledSessionEndHidesAgain) {
    TProgramClosing closing([this] { return List(); }, window, prompt);
    Program().ClosingRequested = true;
    closing.SessionEndCancelled();
    closing.CloseQuery();
    EXPECT_EQ(window.calls, QStringList({"save", "hide"}));
}

} // namespace
} // namespace morvane
