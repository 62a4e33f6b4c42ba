#include "image_store.h"

#include "imager_output.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSysInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane::imager {

namespace {

const QRegularExpression& VersionNamePattern() {
    static const QRegularExpression pattern(u"^\\d{4}-\\d{2}-\\d{2}T\\d{2}-\\d{2}-\\d{2}\\.\\d{3}Z$"_s);
    return pattern;
}

QString HostFolderName() {
    QString host = QSysInfo::machineHostName();
    for (QChar& character : host) {
        if (!character.isLetterOrNumber() && character != u'-' && character != u'.' && character != u'_')
            character = u'_';
    }
    return host.isEmpty() || host == u"."_s || host == u".."_s ? u"localhost"_s : host;
}

bool IsRealFolder(const QString& path) {
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

// 0, an errno, or ENOTDIR when something other than a real folder (a file, a link) is in the way.
int CreateFolder(const QString& path) {
    if (::mkdir(QFile::encodeName(path).constData(), 0700) == 0)
        return 0;
    const int error = errno;
    if (error != EEXIST)
        return error;
    return IsRealFolder(path) ? 0 : ENOTDIR;
}

QStringList SubfolderNames(const ImageStore& store) {
    return QDir(store.hostFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

} // namespace

QString ImageStore::LockPath() const {
    return hostFolder + u"/.lock"_s;
}

QString ImageStore::VersionPath(const QString& name) const {
    return hostFolder + u'/' + name;
}

ImageStore StoreOn(const QString& target) {
    ImageStore store;
    store.target = QDir::cleanPath(target);
    store.imagesRoot = QDir::cleanPath(store.target + u"/MorvaneImageBackup"_s);
    store.hostFolder = store.imagesRoot + u'/' + HostFolderName();
    return store;
}

QString CheckTargetFolder(const QString& target) {
    if (QDir::isRelativePath(target))
        return u"The backup storage location %1 is not an absolute folder path."_s.arg(target);
    struct stat status = {};
    if (::stat(QFile::encodeName(target).constData(), &status) != 0)
        return u"The backup storage location %1 cannot be found: %2"_s.arg(target, SystemErrorText(errno));
    if (!S_ISDIR(status.st_mode))
        return u"The backup storage location %1 is not a folder."_s.arg(target);
    return QString();
}

int CreateStoreFolders(const ImageStore& store) {
    if (const int error = CreateFolder(store.imagesRoot))
        return error;
    return CreateFolder(store.hostFolder);
}

QStringList FinishedVersions(const ImageStore& store) {
    QStringList versions;
    for (const QString& name : SubfolderNames(store)) {
        if (VersionNamePattern().match(name).hasMatch() && IsRealFolder(store.VersionPath(name)))
            versions.append(name);
    }
    std::sort(versions.begin(), versions.end());
    return versions;
}

QStringList LeftoverFolders(const ImageStore& store) {
    QStringList leftovers;
    for (const QString& name : SubfolderNames(store)) {
        for (const QString& suffix : {u".partial"_s, u".deleting"_s}) {
            if (name.endsWith(suffix) && VersionNamePattern().match(name.chopped(suffix.size())).hasMatch())
                leftovers.append(name);
        }
    }
    return leftovers;
}

QString NewVersionName(const ImageStore& store) {
    const QStringList existing = SubfolderNames(store);
    for (;;) {
        const QString name = QDateTime::currentDateTimeUtc().toString(u"yyyy-MM-dd'T'HH-mm-ss.zzz'Z'"_s);
        const bool taken = std::any_of(existing.begin(), existing.end(),
                                       [&name](const QString& other) { return other.startsWith(name); });
        if (!taken)
            return name;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool RemoveStoreFolder(const QString& path) {
    // QDir::removeRecursively removes links inside the tree without following them; the folder
    // itself is checked here, since a link in its place would lead the removal elsewhere.
    if (!IsRealFolder(path))
        return false;
    return QDir(path).removeRecursively();
}

void SyncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace morvane::imager
