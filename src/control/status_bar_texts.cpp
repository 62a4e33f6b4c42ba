#include "control/status_bar_texts.h"

#include "i18n/translation.h"

namespace morvane {

namespace {

QString Counter(const QString& caption, int count) {
    return caption + QStringLiteral(": ") + QString::number(count);
}

} // namespace

bool TStatusBarTexts::Update(const TSchedulerCounts& counts) {
    counts_ = counts;
    const QString jobs = Counter(Translate(QStringLiteral("Jobs")), counts.AllJobs);
    const QString running = Counter(Translate(QStringLiteral("Running")), counts.ActiveJobs);
    const QString cancelled = Counter(Translate(QStringLiteral("Cancelled")), counts.CancelledJobs);
    if (jobs == jobs_ && running == running_ && cancelled == cancelled_)
        return false;
    jobs_ = jobs;
    running_ = running;
    cancelled_ = cancelled;
    return true;
}

QString TStatusBarTexts::WidestJobs() {
    return Counter(Translate(QStringLiteral("Jobs")), 1000);
}

QString TStatusBarTexts::WidestRunning() {
    return Counter(Translate(QStringLiteral("Running")), 1000);
}

QString TStatusBarTexts::WidestCancelled() {
    return Counter(Translate(QStringLiteral("Cancelled")), 1000);
}

} // namespace morvane
