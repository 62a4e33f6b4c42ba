#include "platform/special_folders.h"

#include "platform/file_names.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace morvane {

namespace {

QString XdgFolder(const char* variable, const QString& fallbackUnderHome) {
    const QString value = qEnvironmentVariable(variable);
    if (!value.isEmpty() && QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(QDir::homePath() + u'/' + fallbackUnderHome);
}

} // namespace

QString ApplicationDataFolder() {
    return XdgFolder("XDG_CONFIG_HOME", QStringLiteral(".config"));
}

QString CommonApplicationDataFolder() {
    return XdgFolder("XDG_DATA_HOME", QStringLiteral(".local/share"));
}

QString DocumentsFolder() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return documents.isEmpty() ? QDir::homePath() + QStringLiteral("/Documents") : documents;
}

QString TempDirectory() {
    return QDir::cleanPath(QDir::tempPath());
}

QString ExecutableDirectory() {
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section(u'/', 0, -2);
}

bool CreatePrivateDirectory(const QString& path) {
    // A new account may not have its configuration folder yet: the parents get default permissions.
    QDir().mkpath(QFileInfo(path).path());
    const QByteArray native = NameToBytes(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    if (::stat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return false;
    if ((info.st_mode & 077) != 0 && info.st_uid == ::geteuid())
        ::chmod(native.constData(), info.st_mode & 0700);
    return true;
}

int SystemUiLanguagePrimaryId() {
    switch (QLocale::system().language()) {
    case QLocale::Arabic:
        return 1;
    case QLocale::Chinese:
        return 4;
    case QLocale::Czech:
        return 5;
    case QLocale::German:
        return 7;
    case QLocale::Greek:
        return 8;
    case QLocale::Spanish:
        return 10;
    case QLocale::French:
        return 12;
    case QLocale::Hungarian:
        return 14;
    case QLocale::Italian:
        return 16;
    case QLocale::Japanese:
        return 17;
    case QLocale::Korean:
        return 18;
    case QLocale::Dutch:
        return 19;
    case QLocale::Polish:
        return 21;
    case QLocale::Portuguese:
        return 22;
    case QLocale::Romanian:
        return 24;
    case QLocale::Russian:
        return 25;
    case QLocale::Turkish:
        return 31;
    default:
        return 0;
    }
}

} // namespace morvane
