#include "platform/elevation.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

namespace morvane {

namespace {

// The launcher clears the environment; these carry the user's folders, display and session over, so
// the elevated program finds the same application directory and can show its windows.
constexpr const char* PassedVariables[] = {
    "HOME",
    "USER",
    "LOGNAME",
    "LANG",
    "LC_ALL",
    "XDG_CONFIG_HOME",
    "XDG_DATA_HOME",
    "XDG_CACHE_HOME",
    "XDG_STATE_HOME",
    "XDG_RUNTIME_DIR",
    "TMPDIR",
    "DISPLAY",
    "WAYLAND_DISPLAY",
    "XAUTHORITY",
    "DBUS_SESSION_BUS_ADDRESS",
};

constexpr int PollMilliseconds = 50;
// An authentication prompt left unanswered this long counts as declined.
constexpr int MaxPromptMilliseconds = 5 * 60 * 1000;

enum class LaunchState { Authenticating, Started, Ended };

// The kernel's short name of a process (15 characters at most) and whether it is still alive, read
// from /proc; a zombie has ended.
LaunchState ReadLaunchState(qint64 pid, const QString& launcherName) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return LaunchState::Ended;
    const QByteArray line = stat.readAll();
    const qsizetype open = line.indexOf('(');
    const qsizetype close = line.lastIndexOf(')');
    if (open < 0 || close < open || close + 2 >= line.size() || line.at(close + 2) == 'Z' ||
        line.at(close + 2) == 'X')
        return LaunchState::Ended;
    const QString name = QString::fromUtf8(line.mid(open + 1, close - open - 1));
    return name == launcherName ? LaunchState::Authenticating : LaunchState::Started;
}

class PolicyKitElevation final : public IElevation {
public:
    PolicyKitElevation(const QString& launcher, const QString& executable)
        : launcher_(launcher), executable_(executable) {}

    bool RestartElevated(const QStringList& arguments) override {
        qint64 pid = 0;
        if (!QProcess::startDetached(launcher_, LauncherArguments(arguments), QString(), &pid) || pid <= 0)
            return false;
        return WaitWhileAuthenticating(pid);
    }

private:
    // The launcher runs env, which sets the passed variables and replaces itself with the program.
    QStringList LauncherArguments(const QStringList& arguments) const {
        QStringList result{QStringLiteral("/usr/bin/env")};
        for (const char* name : PassedVariables) {
            if (qEnvironmentVariableIsSet(name))
                result.append(QString::fromLatin1(name) + u'=' + qEnvironmentVariable(name));
        }
        result.append(executable_);
        result.append(arguments);
        return result;
    }

    // The launcher keeps its name until the user has authenticated and it has replaced itself with
    // the command; it ends instead when authentication fails or is dismissed.
    bool WaitWhileAuthenticating(qint64 pid) const {
        const QString launcherName = QFileInfo(launcher_).fileName().left(15);
        const QDeadlineTimer deadline(MaxPromptMilliseconds);
        QEventLoop loop;
        QTimer poll;
        LaunchState state = ReadLaunchState(pid, launcherName);
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            state = ReadLaunchState(pid, launcherName);
            if (state != LaunchState::Authenticating || deadline.hasExpired())
                loop.quit();
        });
        if (state == LaunchState::Authenticating) {
            poll.start(PollMilliseconds);
            loop.exec();
        }
        return state == LaunchState::Started;
    }

    QString launcher_;
    QString executable_;
};

} // namespace

IElevation& SystemElevation() {
    static PolicyKitElevation elevation(QStringLiteral("pkexec"), QCoreApplication::applicationFilePath());
    return elevation;
}

std::unique_ptr<IElevation> MakeElevation(const QString& launcher, const QString& executable) {
    return std::make_unique<PolicyKitElevation>(launcher, executable);
}

} // namespace morvane
