#pragma once

#include <QHash>

#include <vector>

namespace morvane {

class TJob;
class IDesktopNotifications;

// Watches the jobs once per tick and tells the desktop when a run ended cancelled or with errors
// (the status went from an active one back to idle), naming the job.
class TRunEndNotices {
public:
    explicit TRunEndNotices(IDesktopNotifications& notifications) : notifications_(notifications) {}

    void AfterTick(const std::vector<TJob*>& jobs);

private:
    IDesktopNotifications& notifications_;
    QHash<const TJob*, bool> wasActive_;
};

} // namespace morvane
