#include "core/run_progress.h"

#include "i18n/translation.h"
#include "platform/date_time.h"
#include "scheduler/scheduler_tick.h"
#include "storage/storage_helpers.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace morvane {

QString RetryWaitText(const TJob& job) {
    const TDateTime deadline = job.RetryDeadline;
    if (deadline <= 0 || job.CurrentFileOperationType != atNone_WaitingForReconnection)
        return QString();
    const double seconds = std::ceil((deadline - Now()) * 24 * 3600 - 0.001);
    const QString text = FormatText(Translate(QStringLiteral("Retry after %s seconds.")),
                                    {QString::number(std::max(0, static_cast<int>(seconds)))});
    return text + u' ' + job.CurrentFileOperationPath.Text();
}

QString ProgressText(const TJob& job, bool showCounters) {
    if (const QString waiting = RetryWaitText(job); !waiting.isEmpty())
        return waiting;
    QString text;
    if (showCounters)
        text = QStringLiteral("%1 files, %2")
                   .arg(job.CurrentBackupFilesProcessed.load())
                   .arg(SizeText(job.CurrentBackupSize));
    const QString path = job.CurrentFileOperationPath.Text();
    if (!path.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(": ")) + path;
    return text;
}

RunOutcome RunOutcomeOf(const TJob& job) {
    if (job.LastJobResult.Cancelled)
        return RunOutcome::Cancelled;
    return job.LastJobResult.ErrorsCount > 0 ? RunOutcome::FinishedWithErrors : RunOutcome::Finished;
}

RunOutcome WaitForRunEnd(TJob& job, const TRunWatch& watch) {
    bool cancelSent = false;
    while (!job.WaitForWorkerFor(watch.Interval)) {
        if (!cancelSent && watch.CancelRequested && watch.CancelRequested()) {
            job.Cancel();
            cancelSent = true;
        }
        if (watch.Progress)
            watch.Progress(job);
    }
    job.WaitForWorker();
    return RunOutcomeOf(job);
}

bool CancelAndWaitForRuns(const std::vector<TJob*>& jobs, std::optional<std::chrono::milliseconds> timeout) {
    for (TJob* job : jobs) {
        if (IsJobActive(*job))
            job->Cancel();
    }
    using Steady = std::chrono::steady_clock;
    const Steady::time_point deadline = timeout ? Steady::now() + *timeout : Steady::time_point::max();
    const auto left = [&deadline] {
        return std::max(std::chrono::milliseconds(0),
                        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Steady::now()));
    };
    while (AnyJobIsActive(jobs)) {
        if (timeout && left().count() == 0)
            return false;
        std::this_thread::sleep_for(timeout ? std::min(std::chrono::milliseconds(100), left())
                                            : std::chrono::milliseconds(100));
    }
    // A run lets go of its status before its thread has finished with the job.
    for (TJob* job : jobs) {
        if (!timeout)
            job->WaitForWorker();
        else if (!job->WaitForWorkerFor(left()))
            return false;
    }
    return true;
}

} // namespace morvane
