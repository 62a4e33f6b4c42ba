#include "scheduler/scheduler_tick.h"

#include "formats/events_log.h"
#include "options/options.h"
#include "platform/program_state.h"
#include "scheduler/schedule.h"

#include <algorithm>
#include <exception>

namespace morvane {

namespace {

// Clears the busy mark on every way out of a tick.
class BusyMark {
public:
    explicit BusyMark(bool& busy) : busy_(busy) { busy_ = true; }
    ~BusyMark() { busy_ = false; }
    BusyMark(const BusyMark&) = delete;
    BusyMark& operator=(const BusyMark&) = delete;

private:
    bool& busy_;
};

// The time of day of the last usable entry, which is the day's latest as the table is ascending.
std::optional<TDateTime> LastEntryTime(const TSchedulingSettings& schedule) {
    for (auto entry = schedule.TimeTable.crbegin(); entry != schedule.TimeTable.crend(); ++entry) {
        if (const std::optional<TDateTime> time = EntryTime(*entry))
            return time;
    }
    return std::nullopt;
}

TDateTime TimeOfDayValue(const QDateTime& moment) {
    return moment.time().msecsSinceStartOfDay() / 86'400'000.0;
}

} // namespace

bool IsJobActive(const TJob& job) {
    const TJobStatus status = job.JobStatus;
    return status == jsRunning || status == jsCancelling || status == jsPaused;
}

bool AnyJobIsActive(const std::vector<TJob*>& jobs) {
    return std::any_of(jobs.begin(), jobs.end(), [](const TJob* job) { return IsJobActive(*job); });
}

struct TScheduler::Scan {
    TSchedulerCounts Counts;
    bool SomeJobScheduledSoon = false;
    bool ScheduledDriveImageJob = false;
    std::vector<TJob*> StartList;
};

TScheduler::TScheduler(TJobListSource jobs, TSchedulerServices services, bool startedHidden)
    : jobs_(std::move(jobs)), services_(services), startedHidden_(startedHidden),
      countdown_(services.Power, services.ShutdownDialog, [this] {
          shutdownArmed_ = false;
          Enable();
      }) {
    timer_.setInterval(IntervalMilliseconds);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        // A failure must not leave the event loop; it is shown and the next tick runs as usual.
        try {
            Tick();
        } catch (const std::exception& error) {
            AddToEventsLog(QString::fromUtf8(error.what()));
        }
    });
}

void TScheduler::Tick() {
    if (busy_ || Program().ClosingRequested)
        return;
    const BusyMark mark(busy_);
    const std::vector<TJob*> jobs = jobs_();
    const Scan scan = ScanJobs(jobs);
    if (!StartJobs(jobs, scan.StartList))
        return;
    services_.Window.RefreshAfterTick(scan.Counts);
    ShowShutdownWhenAllIdle(jobs);
    const bool schedulePending =
        scan.SomeJobScheduledSoon && GlobalOptions().General.BlockSleepModeifJobIsScheduled;
    ControlSleep(AnyJobIsActive(jobs) || !scan.StartList.empty(), schedulePending);
    if (!Program().StartedElevated && scan.ScheduledDriveImageJob && !AnyJobIsActive(jobs) &&
        scan.StartList.empty())
        RestartElevatedForDriveImages();
}

TScheduler::Scan TScheduler::ScanJobs(const std::vector<TJob*>& jobs) {
    Scan scan;
    for (TJob* job : jobs) {
        const TSchedulingSettings& schedule = job->SchedulingSettings;
        ++scan.Counts.AllJobs;
        if (job->LastJobResult.Cancelled)
            ++scan.Counts.CancelledJobs;
        if (!scan.SomeJobScheduledSoon)
            scan.SomeJobScheduledSoon = IsScheduledXDaysFromNow(schedule, 1);
        if (!Program().StartedElevated && job->JobKind() == TJob::Kind::DriveImage &&
            schedule.SchedulingType != stDisabled)
            scan.ScheduledDriveImageJob = true;
        if (IsJobActive(*job))
            ++scan.Counts.ActiveJobs;
        else if (schedule.SchedulingType != stDisabled)
            ApplyDueTest(*job);
        if (job->JobStatus == jsWaiting)
            scan.StartList.push_back(job);
    }
    return scan;
}

void TScheduler::ApplyDueTest(TJob& job) {
    const TSchedulingSettings& schedule = job.SchedulingSettings;
    const TDateTime past = GetDateTimeOfNearestPastTask(schedule);
    // No start in the window, settings saved since that start, or a run (or a cancel) since it.
    if (past <= 0 || schedule.LastModificationDateTime >= past || past <= job.LastJobResult.StartTime)
        return;
    const QDateTime now = CurrentDateTime();
    if (!schedule.RunJobAsSoonAsPossibleAfterAScheduledStartIsMissed &&
        SecondsSinceScheduledStart(past, now) > MaxSecondsLate)
        return;
    job.JobStatus = jsWaiting;
    if (shutdownArmed_ || !schedule.ShutdownPCInTheEnd)
        return;
    const std::optional<TDateTime> lastEntry = LastEntryTime(schedule);
    if (lastEntry && TimeOfDayValue(now.toLocalTime()) >= *lastEntry)
        shutdownArmed_ = true;
}

bool TScheduler::StartJobs(const std::vector<TJob*>& jobs, const std::vector<TJob*>& startList) {
    if (GlobalOptions().Processing.RunOnlyOneJobAtATime) {
        if (startList.empty() || AnyJobIsActive(jobs))
            return true;
        return StartJob(*startList.front());
    }
    for (TJob* job : startList) {
        if (job->JobKind() == TJob::Kind::DriveImage && AnyJobIsActive(jobs))
            continue; // waits until every other job has finished
        if (!StartJob(*job))
            return false;
    }
    return true;
}

bool TScheduler::StartJob(TJob& job) {
    if (job.JobKind() == TJob::Kind::DriveImage)
        return StartDriveImageJob(job);
    services_.Starter.StartBackup(job);
    return true;
}

bool TScheduler::StartDriveImageJob(TJob& job) {
    // Imaging needs administrator rights: hand the job to an elevated instance when one can start.
    if (!Program().StartedElevated && TryRestartElevated({QStringLiteral("/backup"), job.stJobName})) {
        Program().ClosingRequested = true;
        services_.Window.CloseForElevatedInstance();
        return false;
    }
    services_.Starter.StartBackup(job);
    return true;
}

void TScheduler::ShowShutdownWhenAllIdle(const std::vector<TJob*>& jobs) {
    if (!shutdownArmed_ || countdown_.IsShowing())
        return;
    if (std::all_of(jobs.begin(), jobs.end(), [](const TJob* job) { return job->JobStatus == jsNone; })) {
        Disable();
        countdown_.Start();
    }
}

void TScheduler::ControlSleep(bool workPending, bool schedulePending) {
    const bool pending = workPending || schedulePending;
    if (pending == sleepBlocked_)
        return;
    sleepBlocked_ = pending;
    if (pending)
        services_.Power.KeepAwake();
    else
        services_.Power.AllowSleep();
}

void TScheduler::RestartElevatedForDriveImages() {
    QStringList arguments{QStringLiteral("/admin")};
    if (startedHidden_)
        arguments.append(QStringLiteral("/hide"));
    const bool elevated = TryRestartElevated(arguments);
    // Asked once per run, whatever the answer.
    Program().StartedElevated = true;
    if (elevated) {
        Program().ClosingRequested = true;
        services_.Window.CloseForElevatedInstance();
    }
}

bool TScheduler::TryRestartElevated(const QStringList& arguments) {
    const bool wasEnabled = IsEnabled();
    Disable();
    const bool elevated = services_.Elevation.RestartElevated(arguments);
    if (!elevated && wasEnabled)
        Enable();
    return elevated;
}

} // namespace morvane
