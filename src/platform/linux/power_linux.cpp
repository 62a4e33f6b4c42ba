#include "platform/power.h"

#include "platform/program_state.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QFileInfo>
#include <QUuid>

namespace morvane {

namespace {

const QString LoginService = QStringLiteral("org.freedesktop.login1");
const QString LoginPath = QStringLiteral("/org/freedesktop/login1");
const QString LoginManager = QStringLiteral("org.freedesktop.login1.Manager");
constexpr int CallTimeoutMilliseconds = 5000;
// How long the boot menu waits for a choice after the restart.
constexpr qulonglong BootMenuTimeoutMicroseconds = 5ULL * 60 * 1000 * 1000;

// False when the system bus's socket is missing (a container, a minimal system): then no login
// manager can answer and the message-bus machinery, with its own thread, is never started.
bool SystemBusSocketMayExist() {
    QString address = qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS");
    if (address.isEmpty())
        address = QStringLiteral("unix:path=/run/dbus/system_bus_socket");
    static const QString pathKey = QStringLiteral("unix:path=");
    if (!address.startsWith(pathKey))
        return true; // another transport: only a connection attempt can tell
    const QString path = address.mid(pathKey.size()).section(u',', 0, 0).section(u';', 0, 0);
    return QFileInfo::exists(path);
}

QDBusMessage LoginManagerCall(const QString& method) {
    return QDBusMessage::createMethodCall(LoginService, LoginPath, LoginManager, method);
}

// Keeps the computer awake by holding a login-manager inhibitor lock: the lock lasts while its file
// descriptor is open. Where no login manager answers, the calls fail and nothing happens.
class LoginManagerPowerControl final : public IPowerControl {
public:
    // An empty name means the system bus.
    explicit LoginManagerPowerControl(const QString& privateConnectionName)
        : privateConnectionName_(privateConnectionName) {}

    ~LoginManagerPowerControl() override {
        inhibitor_ = QDBusUnixFileDescriptor();
        if (!privateConnectionName_.isEmpty())
            QDBusConnection::disconnectFromBus(privateConnectionName_);
    }

    void KeepAwake() override {
        if (!BusMayExist())
            return;
        const QDBusConnection bus = Bus();
        if (inhibitor_.isValid() || !bus.isConnected())
            return;
        QDBusMessage call = LoginManagerCall(QStringLiteral("Inhibit"));
        call << QStringLiteral("sleep:idle") << QString::fromUtf16(ApplicationTitle)
             << QStringLiteral("Backup jobs are running or scheduled") << QStringLiteral("block");
        const QDBusReply<QDBusUnixFileDescriptor> reply =
            bus.call(call, QDBus::Block, CallTimeoutMilliseconds);
        if (reply.isValid())
            inhibitor_ = reply.value();
    }

    void AllowSleep() override { inhibitor_ = QDBusUnixFileDescriptor(); }

    bool SwitchOff() override {
        if (!BusMayExist())
            return false;
        const QDBusConnection bus = Bus();
        if (!bus.isConnected())
            return false;
        QDBusMessage call = LoginManagerCall(QStringLiteral("PowerOff"));
        call << false; // never ask the user: the countdown was the question
        const QDBusMessage reply = bus.call(call, QDBus::Block, CallTimeoutMilliseconds);
        return reply.type() == QDBusMessage::ReplyMessage;
    }

    bool RestartIntoRecovery() override {
        if (!BusMayExist())
            return false;
        const QDBusConnection bus = Bus();
        if (!bus.isConnected())
            return false;
        // Where the boot loader cannot be told to show its menu, a plain restart still lets the user
        // reach it by hand.
        QDBusMessage menu = LoginManagerCall(QStringLiteral("SetRebootToBootloaderMenu"));
        menu << qulonglong(BootMenuTimeoutMicroseconds);
        bus.call(menu, QDBus::Block, CallTimeoutMilliseconds);
        QDBusMessage reboot = LoginManagerCall(QStringLiteral("Reboot"));
        reboot << false;
        return bus.call(reboot, QDBus::Block, CallTimeoutMilliseconds).type() == QDBusMessage::ReplyMessage;
    }

private:
    bool BusMayExist() const { return !privateConnectionName_.isEmpty() || SystemBusSocketMayExist(); }

    // Looked up at each call, so the static instance holds no connection past the application's end.
    QDBusConnection Bus() const {
        return privateConnectionName_.isEmpty() ? QDBusConnection::systemBus()
                                                : QDBusConnection(privateConnectionName_);
    }

    QString privateConnectionName_;
    QDBusUnixFileDescriptor inhibitor_;
};

} // namespace

IPowerControl& SystemPowerControl() {
    static LoginManagerPowerControl control{QString()};
    return control;
}

std::unique_ptr<IPowerControl> MakeLoginManagerPowerControl(const QString& busAddress) {
    const QString name =
        QStringLiteral("morvane-power-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    QDBusConnection::connectToBus(busAddress, name);
    return std::make_unique<LoginManagerPowerControl>(name);
}

} // namespace morvane
