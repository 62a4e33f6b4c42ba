#pragma once

#include <QString>

namespace morvane {

// Short messages the desktop shows outside the program's windows. Failures are silent: without a
// notification service nothing is shown.
class IDesktopNotifications {
public:
    virtual ~IDesktopNotifications() = default;
    virtual void Notify(const QString& summary, const QString& body) = 0;
};

// The session's notification service (the freedesktop notifications interface on the session bus).
// User-interface thread only.
IDesktopNotifications& SessionNotifications();

} // namespace morvane
