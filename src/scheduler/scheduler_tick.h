#pragma once

#include "jobs/job.h"
#include "platform/elevation.h"
#include "platform/power.h"
#include "scheduler/shutdown_countdown.h"

#include <QTimer>

#include <functional>
#include <vector>

namespace morvane {

// Starts a job's backup run by the job's kind. Before it returns it has set JobStatus to jsRunning
// and LastJobResult.StartTime to Now(); the work runs on a worker thread.
class IJobStarter {
public:
    virtual ~IJobStarter() = default;
    virtual void StartBackup(TJob& job) = 0;
};

// What one scan of the jobs counted, for the status bar.
struct TSchedulerCounts {
    int AllJobs = 0;
    int ActiveJobs = 0;
    int CancelledJobs = 0;
};

// What the tick asks of the main window; user-interface thread only.
class ISchedulerWindow {
public:
    virtual ~ISchedulerWindow() = default;
    // Moves pending events into the events panel, repaints the job list, sets the enabled state of
    // the commands and shows the counts.
    virtual void RefreshAfterTick(const TSchedulerCounts& counts) = 0;
    // An elevated instance takes over and ClosingRequested is set: close the main window.
    virtual void CloseForElevatedInstance() = 0;
};

// The jobs in list order, asked for at every tick (the list changes between ticks).
using TJobListSource = std::function<std::vector<TJob*>()>;

struct TSchedulerServices {
    IJobStarter& Starter;
    ISchedulerWindow& Window;
    IShutdownDialog& ShutdownDialog;
    IPowerControl& Power;
    IElevation& Elevation;
};

// Running, cancelling or paused.
bool IsJobActive(const TJob& job);
bool AnyJobIsActive(const std::vector<TJob*>& jobs);

// The one-second scheduler loop: marks due jobs as waiting, starts waiting jobs, keeps the computer
// awake while work is pending, restarts the program elevated for drive-image jobs, refreshes the
// window and, when a job asked for it, shows the shutdown countdown once all jobs are idle.
// User-interface thread only; reads the global options and the program state.
class TScheduler {
public:
    static constexpr int IntervalMilliseconds = 1000;
    // Without the catch-up option a start is made only this many whole seconds after its time.
    static constexpr int64_t MaxSecondsLate = 4;

    // `startedHidden`: the program was started with the hide switch, which an elevated restart keeps.
    TScheduler(TJobListSource jobs, TSchedulerServices services, bool startedHidden);

    // The timer; disabled at creation.
    void Enable() { timer_.start(); }
    void Disable() { timer_.stop(); }
    bool IsEnabled() const { return timer_.isActive(); }

    // True while a tick is in progress; the window's commands refuse to act then.
    bool Busy() const { return busy_; }
    void Tick();

    bool ShutdownArmed() const { return shutdownArmed_; }
    bool SleepBlocked() const { return sleepBlocked_; }
    TShutdownCountdown& Countdown() { return countdown_; }

private:
    struct Scan;

    Scan ScanJobs(const std::vector<TJob*>& jobs);
    void ApplyDueTest(TJob& job);
    // False when an elevated instance took over and the tick must end at once.
    bool StartJobs(const std::vector<TJob*>& jobs, const std::vector<TJob*>& startList);
    bool StartJob(TJob& job);
    bool StartDriveImageJob(TJob& job);
    void ShowShutdownWhenAllIdle(const std::vector<TJob*>& jobs);
    void ControlSleep(bool workPending, bool schedulePending);
    void RestartElevatedForDriveImages();
    // Disables the timer around a call that may wait for the user; true when the elevated program runs.
    bool TryRestartElevated(const QStringList& arguments);

    TJobListSource jobs_;
    TSchedulerServices services_;
    bool startedHidden_;
    QTimer timer_;
    TShutdownCountdown countdown_;
    bool busy_ = false;
    bool shutdownArmed_ = false;
    bool sleepBlocked_ = false;
};

} // namespace morvane
