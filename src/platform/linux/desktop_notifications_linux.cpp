#include "platform/desktop_notifications.h"

#include "platform/program_state.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

namespace morvane {

namespace {

class SessionBusNotifications final : public IDesktopNotifications {
public:
    void Notify(const QString& summary, const QString& body) override {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return;
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
        // app name, replaces id, icon, summary, body, actions, hints, timeout (-1: the server's)
        call << QString::fromUtf16(ApplicationTitle) << uint(0) << QStringLiteral("morvane-backup") << summary
             << body << QStringList() << QVariantMap() << int(-1);
        // No wait for the answer: the user-interface thread never waits on another process.
        bus.call(call, QDBus::NoBlock);
    }
};

} // namespace

IDesktopNotifications& SessionNotifications() {
    static SessionBusNotifications notifications;
    return notifications;
}

} // namespace morvane
