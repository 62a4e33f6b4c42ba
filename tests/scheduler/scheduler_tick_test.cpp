#include "scheduler/scheduler_tick.h"

#include "options/options.h"
#include "platform/program_state.h"
#include "scheduler_fakes.h"
#include "scheduler_test_support.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace morvane {
namespace {

using testing::DailySchedule;

const QDate Monday(2026, 1, 5);
const QDate Tuesday(2026, 1, 6);

class SchedulerTickTest : public testing::FakeClockInBerlinTest {
protected:
    void SetUp() override {
        FakeClockInBerlinTest::SetUp();
        savedOptions_ = GlobalOptions();
        GlobalOptions().Processing.RunOnlyOneJobAtATime = false;
        GlobalOptions().General.BlockSleepModeifJobIsScheduled = true;
        Program().ClosingRequested = false;
        // Most tests run in an elevated instance; the elevation tests say otherwise.
        Program().StartedElevated = true;
        SetNow(Monday, QTime(9, 0));
    }

    void TearDown() override {
        GlobalOptions() = savedOptions_;
        Program().ClosingRequested = false;
        Program().StartedElevated = false;
        FakeClockInBerlinTest::TearDown();
    }

    // A schedule saved a week before the first tick.
    static TSchedulingSettings SavedSchedule(TSchedulingSettings schedule) {
        schedule.LastModificationDateTime = ToDateTimeValue(QDateTime(Monday.addDays(-7), QTime(12, 0)));
        return schedule;
    }

    template <typename Job> Job& AddJob(const QString& name, const TSchedulingSettings& schedule) {
        auto job = std::make_unique<Job>(name);
        job->SchedulingSettings = SavedSchedule(schedule);
        Job& added = *job;
        jobs_.push_back(std::move(job));
        return added;
    }
    TJob& AddFilesJob(const QString& name, const TSchedulingSettings& schedule) {
        return AddJob<TJob_FilesAndFolders>(name, schedule);
    }
    TJob& AddDriveJob(const QString& name, const TSchedulingSettings& schedule) {
        return AddJob<TJob_DriveImage>(name, schedule);
    }
    TJob& AddDailyTenOClockJob(const QString& name, bool catchUp = false) {
        TSchedulingSettings schedule = DailySchedule({QStringLiteral("10:00:00")});
        schedule.RunJobAsSoonAsPossibleAfterAScheduledStartIsMissed = catchUp;
        return AddFilesJob(name, schedule);
    }

    void TickAt(const QDate& date, const QTime& time) {
        SetNow(date, time);
        scheduler_.Tick();
    }
    void TickAt(const QDateTime& moment) {
        clock_.Set(moment);
        scheduler_.Tick();
    }
    // The worker of a run ends.
    static void Finish(TJob& job) { job.JobStatus = jsNone; }

    std::vector<TJob*> Jobs() const {
        std::vector<TJob*> list;
        for (const auto& job : jobs_)
            list.push_back(job.get());
        return list;
    }

    std::vector<std::unique_ptr<TJob>> jobs_;
    testing::FakeJobStarter starter_;
    testing::FakeSchedulerWindow window_;
    testing::FakeShutdownDialog dialog_;
    testing::FakePowerControl power_;
    testing::FakeElevation elevation_;
    TScheduler scheduler_{[this] { return Jobs(); }, {starter_, window_, dialog_, power_, elevation_}, false};

private:
    TOptions savedOptions_;
};

TEST_F(SchedulerTickTest, WithoutCatchUpStartsOnlyWithinFourSecondsOfTheScheduledTime) {
    struct {
        QTime tick;
        bool starts;
    } cases[] = {
        // The exact moment is not yet past; the next tick makes the start.
        {QTime(9, 59, 59), false},    {QTime(10, 0, 0), false}, {QTime(10, 0, 0, 1), true},
        {QTime(10, 0, 4, 999), true}, {QTime(10, 0, 5), false}, {QTime(10, 0, 10), false},
        {QTime(23, 0), false},
    };
    for (const auto& c : cases) {
        jobs_.clear();
        starter_.Started.clear();
        TJob& job = AddDailyTenOClockJob(QStringLiteral("Daily"));
        TickAt(Monday, c.tick);
        EXPECT_EQ(starter_.Started.size(), c.starts ? 1 : 0) << c.tick.toString().toStdString();
        EXPECT_EQ(job.JobStatus, c.starts ? jsRunning : jsNone) << c.tick.toString().toStdString();
    }
}

TEST_F(SchedulerTickTest, ASkippedStartStaysSkippedUntilTheNextScheduledTime) {
    AddDailyTenOClockJob(QStringLiteral("Daily"));
    for (int second = 10; second < 20; ++second)
        TickAt(Monday, QTime(10, 0, second));
    TickAt(Monday, QTime(18, 0, 1));
    EXPECT_TRUE(starter_.Started.isEmpty());
    TickAt(Tuesday, QTime(10, 0, 1));
    EXPECT_EQ(starter_.Started, QStringList{QStringLiteral("Daily")});
}

TEST_F(SchedulerTickTest, CatchUpStartsALateJobOnceAtTheFirstTick) {
    TJob& job = AddDailyTenOClockJob(QStringLiteral("Daily"), true);
    TickAt(Monday, QTime(14, 0));
    EXPECT_EQ(starter_.Started, QStringList{QStringLiteral("Daily")});
    TickAt(Monday, QTime(14, 0, 1));
    Finish(job);
    for (const QTime time : {QTime(14, 30), QTime(23, 59, 59)})
        TickAt(Monday, time);
    TickAt(Tuesday, QTime(9, 0));
    EXPECT_EQ(starter_.Started.size(), 1);
    TickAt(Tuesday, QTime(10, 0, 1));
    EXPECT_EQ(starter_.Started.size(), 2);
}

TEST_F(SchedulerTickTest, ScheduleSavedAfterAMissedStartNeverFiresIt) {
    TJob& job = AddDailyTenOClockJob(QStringLiteral("Daily"), true);
    job.SchedulingSettings.LastModificationDateTime = ToDateTimeValue(QDateTime(Monday, QTime(10, 30)));
    TickAt(Monday, QTime(10, 30, 1));
    TickAt(Monday, QTime(15, 0));
    EXPECT_TRUE(starter_.Started.isEmpty());
    TickAt(Tuesday, QTime(10, 0, 1));
    EXPECT_EQ(starter_.Started, QStringList{QStringLiteral("Daily")});
}

TEST_F(SchedulerTickTest, AWaitingJobCancelledBeforeItsStartDoesNotFireAgain) {
    TJob& job = AddDailyTenOClockJob(QStringLiteral("Daily"), true);
    job.JobStatus = jsWaiting;
    SetNow(Monday, QTime(10, 0, 1));
    job.Cancel();
    TickAt(Monday, QTime(10, 0, 2));
    EXPECT_TRUE(starter_.Started.isEmpty());
    EXPECT_EQ(job.JobStatus, jsNone);
}

TEST_F(SchedulerTickTest, DisabledSchedulesAndEmptyTablesNeverStartButWaitingJobsDo) {
    TSchedulingSettings disabled = DailySchedule({QStringLiteral("10:00:00")});
    disabled.SchedulingType = stDisabled;
    AddFilesJob(QStringLiteral("Disabled"), disabled);
    AddFilesJob(QStringLiteral("Empty table"), DailySchedule({}));
    AddFilesJob(QStringLiteral("No days"), testing::WeeklySchedule({}, {QStringLiteral("10:00:00")}));
    TJob& byHand = AddFilesJob(QStringLiteral("By hand"), disabled);
    byHand.JobStatus = jsWaiting; // the Backup command
    TickAt(Monday, QTime(10, 0, 1));
    EXPECT_EQ(starter_.Started, QStringList{QStringLiteral("By hand")});
}

TEST_F(SchedulerTickTest, DamagedRunRecordsDoNotStartAJobWithoutAScheduledStart) {
    // Dates before 1899 come only from a damaged job file; "no start in the window" must stay no start.
    TSchedulingSettings schedule = DailySchedule({QStringLiteral("25:00:00")});
    schedule.RunJobAsSoonAsPossibleAfterAScheduledStartIsMissed = true;
    TJob& job = AddFilesJob(QStringLiteral("Damaged"), schedule);
    job.SchedulingSettings.LastModificationDateTime = -2;
    job.LastJobResult.StartTime = -2;
    TickAt(Monday, QTime(12, 0));
    EXPECT_TRUE(starter_.Started.isEmpty());
}

TEST_F(SchedulerTickTest, StartsOnTheRealClockAcrossDaylightSavingChanges) {
    TJob& job = AddFilesJob(QStringLiteral("Night"), DailySchedule({QStringLiteral("02:30:00")}));
    // Clocks go forward from 02:00 to 03:00: the start the clock skipped is made at the jump.
    const QDate spring(2026, 3, 29);
    TickAt(spring, QTime(1, 59, 59));
    EXPECT_TRUE(starter_.Started.isEmpty());
    TickAt(spring, QTime(3, 0));
    EXPECT_EQ(starter_.Started.size(), 1);
    Finish(job);
    // Clocks go back from 03:00 to 02:00: 02:30 shows twice and starts the job once.
    const QDateTime firstHalfPastTwo = QDateTime(QDate(2026, 10, 25), QTime(1, 30)).addSecs(3600);
    TickAt(firstHalfPastTwo.addSecs(1));
    EXPECT_EQ(starter_.Started.size(), 2);
    Finish(job);
    for (int second = 0; second < 5; ++second)
        TickAt(firstHalfPastTwo.addSecs(3600 + second));
    EXPECT_EQ(starter_.Started.size(), 2);
}

TEST_F(SchedulerTickTest, StartsDueJobsTogetherAndDriveImagesOnlyWhenNothingElseRuns) {
    TJob& first = AddDailyTenOClockJob(QStringLiteral("First"));
    TJob& image = AddDriveJob(QStringLiteral("Image"), DailySchedule({QStringLiteral("10:00:00")}));
    TJob& second = AddDailyTenOClockJob(QStringLiteral("Second"));
    TickAt(Monday, QTime(10, 0, 1));
    EXPECT_EQ(starter_.Started, (QStringList{QStringLiteral("First"), QStringLiteral("Second")}));
    EXPECT_EQ(image.JobStatus, jsWaiting);
    Finish(first);
    TickAt(Monday, QTime(10, 5));
    EXPECT_EQ(image.JobStatus, jsWaiting);
    Finish(second);
    TickAt(Monday, QTime(10, 6));
    ASSERT_EQ(starter_.Started.size(), 3);
    EXPECT_EQ(starter_.Started.last(), QStringLiteral("Image"));
    EXPECT_TRUE(elevation_.Requests.empty());
}

TEST_F(SchedulerTickTest, ADriveImageFirstInTheListBlocksTheFilesJobsBehindIt) {
    // The drive image starts first, so the files jobs after it in the same pass still start.
    AddDriveJob(QStringLiteral("Image"), DailySchedule({QStringLiteral("10:00:00")}));
    AddDailyTenOClockJob(QStringLiteral("Files"));
    TickAt(Monday, QTime(10, 0, 1));
    EXPECT_EQ(starter_.Started, (QStringList{QStringLiteral("Image"), QStringLiteral("Files")}));
}

TEST_F(SchedulerTickTest, OneAtATimeStartsDueJobsInListOrderAfterEachOtherFinishes) {
    GlobalOptions().Processing.RunOnlyOneJobAtATime = true;
    TJob& a = AddDailyTenOClockJob(QStringLiteral("A"));
    TJob& image = AddDriveJob(QStringLiteral("B"), DailySchedule({QStringLiteral("10:00:00")}));
    TJob& c = AddDailyTenOClockJob(QStringLiteral("C"));
    TickAt(Monday, QTime(10, 0, 1));
    EXPECT_EQ(starter_.Started, QStringList{QStringLiteral("A")});
    EXPECT_EQ(image.JobStatus, jsWaiting);
    EXPECT_EQ(c.JobStatus, jsWaiting);
    TickAt(Monday, QTime(10, 20));
    EXPECT_EQ(starter_.Started.size(), 1);
    Finish(a);
    TickAt(Monday, QTime(10, 21));
    EXPECT_EQ(starter_.Started, (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    Finish(image);
    TickAt(Monday, QTime(11, 0));
    EXPECT_EQ(starter_.Started, (QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")}));
}

TEST_F(SchedulerTickTest, RefreshShowsTheCountsOfTheScan) {
    AddDailyTenOClockJob(QStringLiteral("Due"));
    TJob& cancelled = AddDailyTenOClockJob(QStringLiteral("Cancelled"));
    TJob& paused = AddDailyTenOClockJob(QStringLiteral("Paused"));
    paused.JobStatus = jsPaused;
    SetNow(Monday, QTime(10, 0, 1));
    cancelled.LastJobResult.Cancelled = true; // its run for this start was cancelled
    cancelled.LastJobResult.StartTime = Now();
    scheduler_.Tick();
    EXPECT_EQ(window_.Refreshes, 1);
    EXPECT_EQ(window_.LastCounts.AllJobs, 3);
    EXPECT_EQ(window_.LastCounts.ActiveJobs, 1); // counted before "Due" started
    EXPECT_EQ(window_.LastCounts.CancelledJobs, 1);
    EXPECT_EQ(starter_.Started, QStringList{QStringLiteral("Due")});
}

TEST_F(SchedulerTickTest, BusyMarkKeepsTicksFromNestingAndIsClearedWhateverHappens) {
    AddDailyTenOClockJob(QStringLiteral("Daily"));
    bool busyDuringStart = false;
    starter_.OnStart = [&](TJob&) {
        busyDuringStart = scheduler_.Busy();
        scheduler_.Tick(); // a command dispatched while the tick waits
    };
    TickAt(Monday, QTime(10, 0, 1));
    EXPECT_TRUE(busyDuringStart);
    EXPECT_EQ(window_.Refreshes, 1);
    EXPECT_FALSE(scheduler_.Busy());

    starter_.OnStart = [](TJob&) {
        throw std::runtime_error("start failed");
    };
    TickAt(Tuesday, QTime(10, 0, 1));
    EXPECT_FALSE(scheduler_.Busy());
}

TEST_F(SchedulerTickTest, NothingHappensWhileClosingIsRequested) {
    AddDailyTenOClockJob(QStringLiteral("Daily"));
    Program().ClosingRequested = true;
    TickAt(Monday, QTime(10, 0, 1));
    EXPECT_TRUE(starter_.Started.isEmpty());
    EXPECT_EQ(window_.Refreshes, 0);
    EXPECT_TRUE(power_.Calls.isEmpty());
}

TEST_F(SchedulerTickTest, ShutdownIsArmedOnlyByTheDaysLastEntry) {
    TSchedulingSettings schedule = DailySchedule({QStringLiteral("08:00:00"), QStringLiteral("18:00:00")});
    schedule.ShutdownPCInTheEnd = true;
    TJob& job = AddFilesJob(QStringLiteral("Daily"), schedule);
    TickAt(Monday, QTime(8, 0, 1));
    EXPECT_EQ(job.JobStatus, jsRunning);
    EXPECT_FALSE(scheduler_.ShutdownArmed());
    Finish(job);
    TickAt(Monday, QTime(18, 0, 2));
    EXPECT_TRUE(scheduler_.ShutdownArmed());
    EXPECT_TRUE(dialog_.Messages.isEmpty());
}

TEST_F(SchedulerTickTest, ShutdownDialogWaitsUntilEveryJobIsIdle) {
    TSchedulingSettings schedule = DailySchedule({QStringLiteral("18:00:00")});
    schedule.ShutdownPCInTheEnd = true;
    TJob& job = AddFilesJob(QStringLiteral("Evening"), schedule);
    TJob& other = AddFilesJob(QStringLiteral("Other"), DailySchedule({}));
    scheduler_.Enable();
    TickAt(Monday, QTime(18, 0, 1));
    Finish(job);
    other.JobStatus = jsWaiting; // started by hand, runs on past the evening job
    TickAt(Monday, QTime(18, 30));
    EXPECT_EQ(other.JobStatus, jsRunning);
    TickAt(Monday, QTime(18, 31));
    EXPECT_FALSE(scheduler_.Countdown().IsShowing());
    Finish(other);
    TickAt(Monday, QTime(18, 40));
    EXPECT_TRUE(scheduler_.Countdown().IsShowing());
    EXPECT_FALSE(scheduler_.IsEnabled());
    EXPECT_EQ(dialog_.Messages.size(), 1);
    TickAt(Monday, QTime(18, 41)); // shown once
    EXPECT_EQ(dialog_.Messages.size(), 1);
}

TEST_F(SchedulerTickTest, CancellingTheCountdownResumesSchedulingAndALaterLastStartArmsAgain) {
    TSchedulingSettings schedule = DailySchedule({QStringLiteral("18:00:00")});
    schedule.ShutdownPCInTheEnd = true;
    TJob& job = AddFilesJob(QStringLiteral("Evening"), schedule);
    scheduler_.Enable();
    TickAt(Monday, QTime(18, 0, 1));
    Finish(job);
    TickAt(Monday, QTime(18, 30));
    ASSERT_TRUE(scheduler_.Countdown().IsShowing());
    Program().ClosingRequested = false;
    scheduler_.Countdown().Cancel();
    EXPECT_FALSE(scheduler_.ShutdownArmed());
    EXPECT_TRUE(scheduler_.IsEnabled());
    EXPECT_EQ(dialog_.Closes, 1);
    TickAt(Tuesday, QTime(18, 0, 1));
    EXPECT_EQ(starter_.Started.size(), 2);
    EXPECT_TRUE(scheduler_.ShutdownArmed());
}

TEST_F(SchedulerTickTest, SleepIsBlockedAndAllowedOncePerChange) {
    TJob& job =
        AddFilesJob(QStringLiteral("Tuesdays"), testing::WeeklySchedule({2}, {QStringLiteral("10:00:00")}));
    TickAt(Monday, QTime(9, 0));
    TickAt(Monday, QTime(9, 1));
    EXPECT_EQ(power_.Calls, QStringList{QStringLiteral("keep awake")});
    TickAt(Tuesday, QTime(10, 0, 1));
    EXPECT_EQ(job.JobStatus, jsRunning);
    TickAt(Tuesday, QTime(11, 0)); // still running, nothing else scheduled
    Finish(job);
    TickAt(Tuesday, QTime(11, 1));
    TickAt(Tuesday, QTime(11, 2));
    EXPECT_EQ(power_.Calls, (QStringList{QStringLiteral("keep awake"), QStringLiteral("allow sleep")}));
}

TEST_F(SchedulerTickTest, WithoutTheSleepOptionOnlyPendingWorkKeepsTheComputerAwake) {
    GlobalOptions().General.BlockSleepModeifJobIsScheduled = false;
    TJob& job = AddDailyTenOClockJob(QStringLiteral("Daily"));
    TickAt(Monday, QTime(9, 0));
    EXPECT_TRUE(power_.Calls.isEmpty());
    TickAt(Monday, QTime(10, 0, 1));
    Finish(job);
    TickAt(Monday, QTime(11, 0));
    EXPECT_EQ(power_.Calls, (QStringList{QStringLiteral("keep awake"), QStringLiteral("allow sleep")}));
}

class ElevationTickTest : public SchedulerTickTest {
protected:
    void SetUp() override {
        SchedulerTickTest::SetUp();
        Program().StartedElevated = false;
        scheduler_.Enable();
        elevation_.OnRequest = [this] {
            timerDuringRequest_.push_back(scheduler_.IsEnabled());
        };
    }
    std::vector<bool> timerDuringRequest_;
};

TEST_F(ElevationTickTest, ADeclinedElevationStartsTheDriveImageHere) {
    TJob& image = AddDriveJob(QStringLiteral("System \"C\""), DailySchedule({QStringLiteral("10:00:00")}));
    TickAt(Monday, QTime(10, 0, 1));
    ASSERT_EQ(elevation_.Requests.size(), 1u);
    EXPECT_EQ(elevation_.Requests[0],
              (QStringList{QStringLiteral("/backup"), QStringLiteral("System \"C\"")}));
    EXPECT_EQ(timerDuringRequest_, std::vector<bool>{false});
    EXPECT_TRUE(scheduler_.IsEnabled());
    EXPECT_EQ(starter_.Started, QStringList{image.stJobName});
    EXPECT_FALSE(Program().ClosingRequested);
}

TEST_F(ElevationTickTest, AnAcceptedElevationHandsTheDriveImageOverAndEndsTheTick) {
    elevation_.Accept = true;
    TJob& image = AddDriveJob(QStringLiteral("Image"), DailySchedule({QStringLiteral("10:00:00")}));
    TickAt(Monday, QTime(10, 0, 1));
    ASSERT_EQ(elevation_.Requests.size(), 1u);
    EXPECT_EQ(elevation_.Requests[0], (QStringList{QStringLiteral("/backup"), QStringLiteral("Image")}));
    EXPECT_TRUE(starter_.Started.isEmpty());
    EXPECT_EQ(image.JobStatus, jsWaiting);
    EXPECT_TRUE(Program().ClosingRequested);
    EXPECT_EQ(window_.Closes, 1);
    EXPECT_EQ(window_.Refreshes, 0);
    EXPECT_FALSE(scheduler_.IsEnabled());
}

TEST_F(ElevationTickTest, AScheduledDriveImageAsksForElevationOnceAtTheFirstIdleTick) {
    AddDriveJob(QStringLiteral("Image"), DailySchedule({QStringLiteral("22:00:00")}));
    TJob& files = AddDailyTenOClockJob(QStringLiteral("Files"));
    TickAt(Monday, QTime(10, 0, 1)); // the files job starts: not idle
    EXPECT_TRUE(elevation_.Requests.empty());
    Finish(files);
    TickAt(Monday, QTime(10, 30));
    ASSERT_EQ(elevation_.Requests.size(), 1u);
    EXPECT_EQ(elevation_.Requests[0], QStringList{QStringLiteral("/admin")});
    EXPECT_EQ(timerDuringRequest_, std::vector<bool>{false});
    EXPECT_TRUE(Program().StartedElevated);
    EXPECT_FALSE(Program().ClosingRequested);
    EXPECT_TRUE(scheduler_.IsEnabled());
    TickAt(Monday, QTime(10, 31));
    EXPECT_EQ(elevation_.Requests.size(), 1u);
}

TEST_F(ElevationTickTest, AnAcceptedWholeProgramRestartKeepsTheHideSwitch) {
    elevation_.Accept = true;
    TScheduler hidden([this] { return Jobs(); }, {starter_, window_, dialog_, power_, elevation_}, true);
    AddDriveJob(QStringLiteral("Image"), DailySchedule({QStringLiteral("22:00:00")}));
    SetNow(Monday, QTime(9, 0));
    hidden.Tick();
    ASSERT_EQ(elevation_.Requests.size(), 1u);
    EXPECT_EQ(elevation_.Requests[0], (QStringList{QStringLiteral("/admin"), QStringLiteral("/hide")}));
    EXPECT_TRUE(Program().StartedElevated);
    EXPECT_TRUE(Program().ClosingRequested);
    EXPECT_EQ(window_.Closes, 1);
}

TEST_F(ElevationTickTest, DisabledDriveImagesNeverAskForElevation) {
    TJob& image = AddDriveJob(QStringLiteral("Image"), DailySchedule({QStringLiteral("22:00:00")}));
    image.SchedulingSettings.SchedulingType = stDisabled;
    TickAt(Monday, QTime(9, 0));
    EXPECT_TRUE(elevation_.Requests.empty());
    EXPECT_FALSE(Program().StartedElevated);
}

} // namespace
} // namespace morvane
