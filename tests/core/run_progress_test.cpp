#include "core/run_progress.h"

#include "fixtures/temp_home.h"
#include "platform/date_time.h"
#include "storage/storage_helpers.h"

#include <QDateTime>

#include <atomic>
#include <thread>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;

namespace morvane {
namespace {

class RunProgressTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        SetClock(&clock);
    }
    void TearDown() override {
        SetClock(nullptr);
        TempHomeTest::TearDown();
    }

    FakeClock clock{QDateTime(QDate(2024, 3, 5), QTime(21, 30, 0))};
};

TEST_F(RunProgressTest, ProgressLineShowsTheWaitOrTheCountersAndPath) {
    struct Case {
        const char* what;
        bool counters;
        int64_t files;
        int64_t size;
        QString path;
        double retryInSeconds; // 0: no wait
        QString expected;
    };
    const Case cases[] = {
        {"nothing yet", true, 0, 0, {}, 0, u"0 files, "_s + SizeText(0)},
        {"counters and path", true, 12, 4096, u"/src/a.txt"_s, 0,
         u"12 files, "_s + SizeText(4096) + u": /src/a.txt"_s},
        {"path only", false, 12, 0, u"/src/a.txt"_s, 0, u"/src/a.txt"_s},
        {"nothing to show", false, 3, 0, {}, 0, {}},
        {"a wait replaces the counters", true, 12, 0, u"/dest/x"_s, 10, u"Retry after 10 seconds. /dest/x"_s},
        {"a part of a second counts as one", false, 0, 0, u"/dest/x"_s, 0.2,
         u"Retry after 1 seconds. /dest/x"_s},
        {"a passed moment reads 0", false, 0, 0, u"/dest/x"_s, -5, u"Retry after 0 seconds. /dest/x"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TJob_FilesAndFolders job(u"J"_s);
        job.CurrentBackupFilesProcessed = c.files;
        job.CurrentBackupSize = c.size;
        job.CurrentFileOperationPath.Set(c.path);
        if (c.retryInSeconds != 0) {
            job.CurrentFileOperationType = atNone_WaitingForReconnection;
            job.RetryDeadline = Now() + c.retryInSeconds / (24 * 3600);
        }
        EXPECT_EQ(ProgressText(job, c.counters), c.expected);
        EXPECT_EQ(RetryWaitText(job).isEmpty(), c.retryInSeconds == 0);
    }
}

TEST_F(RunProgressTest, OutcomeOfARun) {
    struct Case {
        bool cancelled;
        int errors;
        RunOutcome expected;
    };
    for (const Case& c :
         {Case{false, 0, RunOutcome::Finished}, Case{false, 2, RunOutcome::FinishedWithErrors},
          Case{true, 2, RunOutcome::Cancelled}, Case{true, 0, RunOutcome::Cancelled}}) {
        TJob_FilesAndFolders job(u"J"_s);
        job.LastJobResult.Cancelled = c.cancelled;
        job.LastJobResult.ErrorsCount = c.errors;
        EXPECT_EQ(RunOutcomeOf(job), c.expected) << c.cancelled << ' ' << c.errors;
    }
}

// A run on the job's own worker thread that works until it is cancelled (or, ignoring the cancel, until
// the test lets it go) and then ends as a cancelled run does; a lingering one keeps its thread until
// the test lets it go, as a run closing its log does after giving up its status.
class HeldRun {
public:
    HeldRun(TJob& job, bool honoursCancel, bool lingers) : job_(job) {
        job.JobStatus = jsRunning;
        job.StartWorker([this, honoursCancel, lingers] {
            while (!(honoursCancel && job_.JobStatus == jsCancelling) && !released_)
                std::this_thread::sleep_for(1ms);
            job_.LastJobResult.Cancelled = job_.JobStatus == jsCancelling;
            job_.JobStatus = jsNone;
            while (lingers && !released_)
                std::this_thread::sleep_for(1ms);
        });
    }
    ~HeldRun() {
        LetGo();
        job_.WaitForWorker();
    }
    void LetGo() { released_ = true; }

private:
    TJob& job_;
    std::atomic<bool> released_{false};
};

TEST_F(RunProgressTest, WaitingForARunCancelsOnceWhenAsked) {
    TJob_FilesAndFolders job(u"J"_s);
    HeldRun run(job, true, false);
    int asked = 0;
    int shown = 0;
    TRunWatch watch;
    watch.Interval = 1ms;
    watch.CancelRequested = [&] {
        return ++asked >= 2;
    };
    watch.Progress = [&](const TJob& running) {
        ++shown;
        EXPECT_EQ(&running, &job);
    };
    EXPECT_EQ(WaitForRunEnd(job, watch), RunOutcome::Cancelled);
    EXPECT_GE(asked, 2);
    EXPECT_GE(shown, asked);
    EXPECT_TRUE(job.WaitForWorkerFor(0ms));
}

TEST_F(RunProgressTest, CancelAndWaitGivesUpOnARunThatDoesNotEnd) {
    struct Case {
        const char* what;
        bool honoursCancel;
        bool lingers;
        std::optional<std::chrono::milliseconds> timeout;
        bool ended;
    };
    const Case cases[] = {
        {"ignores the cancel", false, false, 50ms, false},
        {"stops but its thread lingers", true, true, 50ms, false},
        {"stops and closes", true, false, 60s, true},
        {"stops and closes, no bound", true, false, std::nullopt, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TJob_FilesAndFolders running(u"Running"_s);
        TJob_FilesAndFolders idle(u"Idle"_s);
        HeldRun run(running, c.honoursCancel, c.lingers);
        EXPECT_EQ(CancelAndWaitForRuns({&idle, &running}, c.timeout), c.ended);
        EXPECT_EQ(idle.JobStatus, jsNone);
        if (!c.ended) {
            // Still cancelled: a later wait sees it end.
            EXPECT_TRUE(running.JobStatus == jsCancelling || running.JobStatus == jsNone);
            run.LetGo();
            EXPECT_TRUE(CancelAndWaitForRuns({&running}, 60s));
        }
        EXPECT_EQ(RunOutcomeOf(running), RunOutcome::Cancelled);
    }
}

} // namespace
} // namespace morvane
