#include "platform/system_effects.h"

#include "platform/paths.h"
#include "platform/special_folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <sys/resource.h>

namespace morvane {

namespace {

// Quotes a path for the Exec key of a desktop entry.
QString QuotedExecArgument(const QString& path) {
    QString escaped = path;
    for (const char16_t c : {u'\\', u'"', u'`', u'$'})
        escaped.replace(QChar(c), QStringLiteral("\\") + QChar(c));
    escaped.replace(u'%', QStringLiteral("%%"));
    return u'"' + escaped + u'"';
}

} // namespace

QString AutorunEntryPath() {
    return JoinPath(ApplicationDataFolder(), QStringLiteral("autostart/morvane-backup.desktop"));
}

bool WriteAutorunEntry(bool enable, const QString& executablePath) {
    const QString path = AutorunEntryPath();
    if (!enable)
        return !QFileInfo::exists(path) || QFile::remove(path);
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    const QByteArray entry = "[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=Morvane Backup\n"
                             "Exec=" +
                             QuotedExecArgument(executablePath).toUtf8() +
                             " /hide\n"
                             "Terminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n";
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entry) != entry.size())
        return false;
    return file.commit();
}

void SetProcessPriority(int priority) {
    static constexpr int niceByPriority[] = {19, 0, -10, -20};
    if (priority < 0 || priority > 3)
        return;
    ::setpriority(PRIO_PROCESS, 0, niceByPriority[priority]);
}

QString FindDataFile(const QString& name) {
    const QString besideExecutable = JoinPath(ExecutableDirectory(), name);
    if (QFileInfo::exists(besideExecutable))
        return besideExecutable;
    const QString installed =
        QDir::cleanPath(ExecutableDirectory() + QStringLiteral("/../share/morvane-backup/") + name);
    return QFileInfo::exists(installed) ? installed : besideExecutable;
}

} // namespace morvane
