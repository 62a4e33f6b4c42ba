#pragma once

#include "jobs/job.h"

#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace morvane {

// "Retry after N seconds." and the path while a failed storage action waits for its next attempt;
// empty otherwise.
QString RetryWaitText(const TJob& job);
// One line about a running job: the retry wait when there is one, else the file counters (when asked
// for) and the path in progress.
QString ProgressText(const TJob& job, bool showCounters);

// How the last run of a job ended.
enum class RunOutcome { Finished, FinishedWithErrors, Cancelled };
RunOutcome RunOutcomeOf(const TJob& job);

// What a caller does while it waits for a run: every `Interval` until the run ends it is asked whether
// to cancel (the run is cancelled once, at the first yes) and then shown the job for its progress.
struct TRunWatch {
    std::chrono::milliseconds Interval{250};
    std::function<bool()> CancelRequested;
    std::function<void(const TJob&)> Progress;
};

// Waits until the run started on the job has ended and its worker has finished; the end is seen at
// once, not at the next interval. Not for the user-interface thread of a window.
RunOutcome WaitForRunEnd(TJob& job, const TRunWatch& watch);

// Cancels every running, cancelling or paused job and waits until each run has closed (log and job
// file saved). With a timeout it gives up after that long and returns false while a run goes on; the
// runs stay cancelled.
bool CancelAndWaitForRuns(const std::vector<TJob*>& jobs,
                          std::optional<std::chrono::milliseconds> timeout = std::nullopt);

} // namespace morvane
