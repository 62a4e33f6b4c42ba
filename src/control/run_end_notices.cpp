#include "control/run_end_notices.h"

#include "i18n/translation.h"
#include "jobs/job.h"
#include "platform/desktop_notifications.h"
#include "platform/program_state.h"
#include "scheduler/scheduler_tick.h"

namespace morvane {

void TRunEndNotices::AfterTick(const std::vector<TJob*>& jobs) {
    QHash<const TJob*, bool> now;
    for (TJob* job : jobs) {
        const TJobStatus status = job->JobStatus;
        // Restores and the reading of restore points are no backup runs and leave the result alone.
        const bool active = IsJobActive(*job) && job->JobOperation == joBackup;
        now.insert(job, active);
        if (!wasActive_.value(job, false) || status != jsNone)
            continue;
        QString text;
        if (job->LastJobResult.Cancelled)
            text = Translate(QStringLiteral("Backup job \"%s\" was cancelled."));
        else if (job->LastJobResult.ErrorsCount > 0)
            text = Translate(QStringLiteral("Backup job \"%s\" finished with errors."));
        else
            continue;
        notifications_.Notify(QString::fromUtf16(ApplicationTitle), FormatText(text, {job->stJobName}));
    }
    wasActive_ = now;
}

} // namespace morvane
