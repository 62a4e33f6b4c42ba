#include "platform/power.h"

#include "fixtures/temp_home.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QMutex>
#include <QMutexLocker>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

namespace morvane {
namespace {

// A login manager on a private message bus: hands out one end of a pipe as the inhibitor lock and
// keeps the other, so a test sees when every copy of the lock has been closed.
class FakeLoginManager : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.login1.Manager")

public:
    ~FakeLoginManager() override {
        for (const int fd : readEnds_)
            ::close(fd);
    }

    QStringList Calls() const {
        const QMutexLocker lock(&mutex_);
        return calls_;
    }
    // The read end of the pipe behind the n-th lock handed out.
    int LockReadEnd(int n) const {
        const QMutexLocker lock(&mutex_);
        return readEnds_.value(n, -1);
    }
    void SetPowerOffRefused(bool refused) {
        const QMutexLocker lock(&mutex_);
        powerOffRefused_ = refused;
    }

public Q_SLOTS:
    QDBusUnixFileDescriptor Inhibit(const QString& what, const QString& who, const QString& why,
                                    const QString& mode) {
        int fds[2];
        if (::pipe(fds) != 0)
            return {};
        const QDBusUnixFileDescriptor lockEnd(fds[1]);
        ::close(fds[1]);
        const QMutexLocker lock(&mutex_);
        calls_.append(QStringList{QStringLiteral("Inhibit"), what, who, why, mode}.join(u'|'));
        readEnds_.append(fds[0]);
        return lockEnd;
    }

    void PowerOff(bool interactive) {
        const QMutexLocker lock(&mutex_);
        calls_.append(interactive ? QStringLiteral("PowerOff|true") : QStringLiteral("PowerOff|false"));
        if (powerOffRefused_)
            sendErrorReply(QDBusError::AccessDenied, QStringLiteral("Not allowed"));
    }

    void SetRebootToBootloaderMenu(qulonglong timeout) {
        const QMutexLocker lock(&mutex_);
        calls_.append(QStringLiteral("SetRebootToBootloaderMenu|") + QString::number(timeout));
        if (bootMenuUnsupported_)
            sendErrorReply(QDBusError::NotSupported, QStringLiteral("No boot loader menu"));
    }

    void Reboot(bool interactive) {
        const QMutexLocker lock(&mutex_);
        calls_.append(interactive ? QStringLiteral("Reboot|true") : QStringLiteral("Reboot|false"));
    }

    void SetBootMenuUnsupported(bool unsupported) {
        const QMutexLocker lock(&mutex_);
        bootMenuUnsupported_ = unsupported;
    }

private:
    mutable QMutex mutex_;
    QStringList calls_;
    QList<int> readEnds_;
    bool powerOffRefused_ = false;
    bool bootMenuUnsupported_ = false;
};

// True when every copy of the lock behind `readEnd` is closed (the pipe reads end-of-file).
bool LockReleased(int readEnd, int waitMilliseconds) {
    pollfd entry{readEnd, POLLIN, 0};
    if (::poll(&entry, 1, waitMilliseconds) <= 0)
        return false;
    char byte = 0;
    return ::read(readEnd, &byte, 1) == 0;
}

class LoginManagerPowerTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
#ifdef __SANITIZE_THREAD__
        // QtDBus hands every message to its own uninstrumented thread, which the race detector
        // cannot follow; the power control itself is used on one thread only.
        GTEST_SKIP() << "message-bus tests do not run under ThreadSanitizer";
#endif
        TempHomeTest::SetUp();
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        ASSERT_FALSE(daemon.isEmpty()) << "dbus-daemon is not installed (scripts/setup.sh installs it)";
        bus_.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                            QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
        ASSERT_TRUE(bus_.waitForStarted());
        ASSERT_TRUE(bus_.waitForReadyRead(10'000));
        address_ = QString::fromUtf8(bus_.readLine()).trimmed();
        ASSERT_FALSE(address_.isEmpty());
    }

    void TearDown() override {
        if (serviceThread_.isRunning()) {
            QDBusConnection::disconnectFromBus(QStringLiteral("fake-login-manager"));
            serviceThread_.quit();
            serviceThread_.wait();
        }
        bus_.kill();
        bus_.waitForFinished();
        TempHomeTest::TearDown();
    }

    // Serves the fake login manager from a thread of its own, so blocking calls from the test's
    // thread are answered.
    void StartLoginManager() {
        serviceThread_.start();
        manager_.moveToThread(&serviceThread_);
        QDBusConnection service =
            QDBusConnection::connectToBus(address_, QStringLiteral("fake-login-manager"));
        ASSERT_TRUE(service.isConnected());
        ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/login1"), &manager_,
                                           QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.login1")));
    }

    QProcess bus_;
    QString address_;
    QThread serviceThread_;
    FakeLoginManager manager_;
};

TEST_F(LoginManagerPowerTest, HoldsOneSleepLockUntilSleepIsAllowed) {
    StartLoginManager();
    auto power = MakeLoginManagerPowerControl(address_);
    power->KeepAwake();
    power->KeepAwake();
    ASSERT_EQ(manager_.Calls(),
              QStringList{QStringLiteral(
                  "Inhibit|sleep:idle|Morvane Backup|Backup jobs are running or scheduled|block")});
    const int readEnd = manager_.LockReadEnd(0);
    ASSERT_GE(readEnd, 0);
    EXPECT_FALSE(LockReleased(readEnd, 0));
    power->AllowSleep();
    EXPECT_TRUE(LockReleased(readEnd, 10'000));

    // Blocking again takes a new lock, and ending the program releases it.
    power->KeepAwake();
    const int second = manager_.LockReadEnd(1);
    ASSERT_GE(second, 0);
    power.reset();
    EXPECT_TRUE(LockReleased(second, 10'000));
}

TEST_F(LoginManagerPowerTest, SwitchOffAsksWithoutPromptAndReportsRefusal) {
    StartLoginManager();
    auto power = MakeLoginManagerPowerControl(address_);
    EXPECT_TRUE(power->SwitchOff());
    manager_.SetPowerOffRefused(true);
    EXPECT_FALSE(power->SwitchOff());
    EXPECT_EQ(manager_.Calls(),
              (QStringList{QStringLiteral("PowerOff|false"), QStringLiteral("PowerOff|false")}));
}

TEST_F(LoginManagerPowerTest, RecoveryRestartAsksForTheBootMenuAndRestartsEvenWithoutIt) {
    StartLoginManager();
    auto power = MakeLoginManagerPowerControl(address_);
    EXPECT_TRUE(power->RestartIntoRecovery());
    manager_.SetBootMenuUnsupported(true);
    EXPECT_TRUE(power->RestartIntoRecovery());
    const QString menu = QStringLiteral("SetRebootToBootloaderMenu|300000000");
    EXPECT_EQ(manager_.Calls(),
              (QStringList{menu, QStringLiteral("Reboot|false"), menu, QStringLiteral("Reboot|false")}));
}

TEST_F(LoginManagerPowerTest, WithoutALoginManagerNothingHappens) {
    const QStringList addresses{address_, QStringLiteral("unix:path=") + HomePath(QStringLiteral("no-bus"))};
    for (const QString& address : addresses) {
        auto power = MakeLoginManagerPowerControl(address);
        power->KeepAwake();
        power->AllowSleep();
        EXPECT_FALSE(power->SwitchOff()) << address.toStdString();
        EXPECT_FALSE(power->RestartIntoRecovery()) << address.toStdString();
    }
}

} // namespace
} // namespace morvane

#include "power_linux_test.moc"
