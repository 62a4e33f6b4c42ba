#pragma once

#include "scheduler/scheduler_tick.h"

#include <QString>

namespace morvane {

// The three counter texts of the main window's status bar: "Jobs: n", "Running: n", "Cancelled: n".
// Update() recomposes them from a tick's counts and tells whether any text changed, so the widgets
// are assigned only then.
class TStatusBarTexts {
public:
    bool Update(const TSchedulerCounts& counts);
    // Recomposes the texts in the current interface language; true when they changed.
    bool Retranslate() { return Update(counts_); }

    const QString& Jobs() const { return jobs_; }
    const QString& Running() const { return running_; }
    const QString& Cancelled() const { return cancelled_; }

    // The widest text each panel shows, to size it: the caption followed by ": 1000".
    static QString WidestJobs();
    static QString WidestRunning();
    static QString WidestCancelled();

private:
    TSchedulerCounts counts_;
    QString jobs_;
    QString running_;
    QString cancelled_;
};

} // namespace morvane
