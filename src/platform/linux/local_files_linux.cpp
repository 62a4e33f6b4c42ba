#include "platform/local_files.h"

#include "platform/file_names.h"

#include <QList>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace morvane {

namespace {

QByteArray NativePath(const QString& path) {
    QByteArray native = NameToBytes(path);
    while (native.size() > 1 && native.endsWith('/'))
        native.chop(1);
    return native;
}

int Result(int rc) {
    return rc == 0 ? 0 : errno;
}

// Opens each folder of `folders` below `start` in turn; returns the last one or -errno.
int WalkFolders(int start, const QList<QByteArray>& folders) {
    int current = start;
    for (const QByteArray& folder : folders) {
        if (folder.isEmpty())
            continue;
        const int next = ::openat(current, folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        const int error = errno;
        if (current != start)
            ::close(current);
        if (next < 0)
            return -error;
        current = next;
    }
    return current == start ? ::openat(start, ".", O_PATH | O_DIRECTORY | O_CLOEXEC) : current;
}

// Removes everything inside the open folder `dirFd`, depth first; takes ownership of the descriptor.
int EmptyFolderAt(int dirFd) {
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        const int error = errno;
        ::close(dirFd);
        return error;
    }
    int result = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir), name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        int error = 0;
        if (S_ISDIR(info.st_mode)) {
            ::fchmodat(::dirfd(dir), name, (info.st_mode & 07777) | S_IRWXU, 0);
            const int child = ::openat(::dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            error = child < 0 ? errno : EmptyFolderAt(child);
            if (error == 0)
                error = Result(::unlinkat(::dirfd(dir), name, AT_REMOVEDIR));
        } else {
            error = Result(::unlinkat(::dirfd(dir), name, 0));
        }
        if (result == 0)
            result = error;
    }
    ::closedir(dir);
    return result;
}

} // namespace

TPathAt::TPathAt(const QString& path) : dirFd_(AT_FDCWD) {
    const QByteArray native = NativePath(path);
    if (native.isEmpty()) {
        error_ = ENOENT;
        return;
    }
    if (native.size() < PATH_MAX) {
        name_ = native;
        return;
    }
    QList<QByteArray> parts = native.split('/');
    name_ = parts.takeLast();
    const int start = native.startsWith('/') ? ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC) : AT_FDCWD;
    const int folder = WalkFolders(start, parts);
    if (start >= 0 && start != folder)
        ::close(start);
    if (folder < 0)
        error_ = -folder;
    else
        dirFd_ = folder;
}

TPathAt::~TPathAt() {
    if (dirFd_ >= 0)
        ::close(dirFd_);
}

int LocalStat(const QString& path, TLocalEntry& entry) {
    entry = {};
    const TPathAt at(path);
    if (at.Error())
        return at.Error() == ENOENT || at.Error() == ENOTDIR ? 0 : at.Error();
    struct stat info {};
    if (::fstatat(at.Dir(), at.Name(), &info, 0) != 0)
        return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
    entry.Exists = true;
    entry.IsDirectory = S_ISDIR(info.st_mode);
    entry.ReadOnly = (info.st_mode & S_IWUSR) == 0;
    entry.Size = info.st_size;
    return 0;
}

namespace {

void FillEntry(const struct stat& info, TLocalEntry& entry) {
    entry.Exists = true;
    entry.SymbolicLink = S_ISLNK(info.st_mode);
    entry.IsDirectory = S_ISDIR(info.st_mode);
    entry.ReadOnly = !entry.SymbolicLink && (info.st_mode & S_IWUSR) == 0;
    entry.Size = info.st_size;
}

int LinkStatAt(int dirFd, const char* name, TLocalEntry& entry) {
    entry = {};
    struct stat info {};
    if (::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : errno;
    FillEntry(info, entry);
    return 0;
}

// Opens the folder `name` inside `dirFd` without following a link; -ELOOP when it is a link, -ENOTDIR
// when it is something else.
int OpenFolderNoFollow(int dirFd, const char* name) {
    const int fd = ::openat(dirFd, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat info {};
    if (fd >= 0) {
        if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode))
            return fd;
        ::close(fd);
        return -ELOOP;
    }
    const int error = errno;
    if (error == ENOENT)
        return -ENOENT;
    if (::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode))
        return -ELOOP;
    return -error;
}

} // namespace

int LocalLinkStat(const QString& path, TLocalEntry& entry) {
    entry = {};
    const TPathAt at(path);
    if (at.Error())
        return at.Error() == ENOENT || at.Error() == ENOTDIR ? 0 : at.Error();
    return LinkStatAt(at.Dir(), at.Name(), entry);
}

int LocalStatBelow(const QString& base, const QString& relative, TLocalEntry& entry) {
    entry = {};
    const TPathAt at(base);
    if (at.Error())
        return at.Error();
    // The folder the user chose may itself be reached through a link; nothing below it is.
    int current = ::openat(at.Dir(), at.Name(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (current < 0)
        return errno;
    QList<QByteArray> parts = NameToBytes(relative).split('/');
    parts.removeAll(QByteArray());
    const QByteArray last = parts.isEmpty() ? QByteArray(".") : parts.takeLast();
    for (const QByteArray& part : std::as_const(parts)) {
        const int next = OpenFolderNoFollow(current, part.constData());
        ::close(current);
        if (next == -ENOENT)
            return 0;
        if (next < 0)
            return -next;
        current = next;
    }
    const int error = LinkStatAt(current, last.constData(), entry);
    ::close(current);
    return error;
}

int LocalMakeWritable(const QString& path) {
    const TPathAt at(path);
    struct stat info {};
    if (at.Error())
        return at.Error();
    if (::fstatat(at.Dir(), at.Name(), &info, 0) != 0)
        return errno;
    return Result(::fchmodat(at.Dir(), at.Name(), (info.st_mode & 07777) | S_IWUSR, 0));
}

int LocalDeleteFile(const QString& path) {
    const TPathAt at(path);
    return at.Error() ? at.Error() : Result(::unlinkat(at.Dir(), at.Name(), 0));
}

int LocalRemoveEmptyDirectory(const QString& path) {
    const TPathAt at(path);
    return at.Error() ? at.Error() : Result(::unlinkat(at.Dir(), at.Name(), AT_REMOVEDIR));
}

int LocalRemoveTree(const QString& path) {
    const TPathAt at(path);
    if (at.Error())
        return at.Error() == ENOENT ? 0 : at.Error();
    struct stat info {};
    if (::fstatat(at.Dir(), at.Name(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : errno;
    if (!S_ISDIR(info.st_mode))
        return Result(::unlinkat(at.Dir(), at.Name(), 0));
    ::fchmodat(at.Dir(), at.Name(), (info.st_mode & 07777) | S_IRWXU, 0);
    const int fd = ::openat(at.Dir(), at.Name(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int emptied = EmptyFolderAt(fd);
    const int removed = Result(::unlinkat(at.Dir(), at.Name(), AT_REMOVEDIR));
    return removed == 0 ? 0 : (emptied ? emptied : removed);
}

namespace {

// 0 when a folder creation refused with EEXIST found a folder there, ENOTDIR when something else.
int ExistingFolder(const QByteArray& path) {
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

// Creates a folder whose path fits the system's limit, and its missing parents. Usually only the last
// level is missing, which takes one call; the parents are tried only when that call says so.
int CreateShortPathChain(const QByteArray& path) {
    if (::mkdir(path.constData(), 0777) == 0)
        return 0;
    if (errno == EEXIST)
        return ExistingFolder(path);
    const qsizetype slash = path.lastIndexOf('/');
    if (errno != ENOENT || slash <= 0)
        return errno;
    if (const int error = CreateShortPathChain(path.left(slash)))
        return error;
    if (::mkdir(path.constData(), 0777) == 0)
        return 0;
    return errno == EEXIST ? ExistingFolder(path) : errno;
}

} // namespace

int LocalCreateDirectories(const QString& path) {
    const QByteArray native = NativePath(path);
    if (native.isEmpty())
        return ENOENT;
    if (native.size() < PATH_MAX)
        return CreateShortPathChain(native);
    int current = native.startsWith('/') ? ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC)
                                         : ::openat(AT_FDCWD, ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (current < 0)
        return errno;
    for (const QByteArray& part : native.split('/')) {
        if (part.isEmpty())
            continue;
        if (::mkdirat(current, part.constData(), 0777) != 0 && errno != EEXIST) {
            const int error = errno;
            ::close(current);
            return error;
        }
        const int next = ::openat(current, part.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        const int error = errno;
        ::close(current);
        if (next < 0)
            return error;
        current = next;
    }
    ::close(current);
    return 0;
}

int LocalRename(const QString& from, const QString& to) {
    const TPathAt source(from);
    const TPathAt target(to);
    if (source.Error())
        return source.Error();
    if (target.Error())
        return target.Error();
    // Never replaces what is at the new path, even when it appears between a check and the move.
    if (::renameat2(source.Dir(), source.Name(), target.Dir(), target.Name(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    struct stat info {};
    if (::fstatat(target.Dir(), target.Name(), &info, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return Result(::renameat(source.Dir(), source.Name(), target.Dir(), target.Name()));
}

int LocalReplaceFile(const QString& from, const QString& to) {
    const TPathAt source(from);
    const TPathAt target(to);
    if (source.Error())
        return source.Error();
    if (target.Error())
        return target.Error();
    return Result(::renameat(source.Dir(), source.Name(), target.Dir(), target.Name()));
}

QString PartialFilePath(const QString& target) {
    const qsizetype slash = std::max(target.lastIndexOf(u'/'), target.lastIndexOf(u'\\'));
    // The passing name starts with the target's name, so whoever owns the target can recognise its own
    // leftovers after a crash; a long name is shortened to keep the whole within the system's limit.
    const QString suffix = QStringLiteral(".morvane-%1.part")
                               .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
    QString name = target.mid(slash + 1);
    while (!name.isEmpty() && NameToBytes(QString(name + suffix)).size() > NAME_MAX)
        name.chop(name.size() >= 2 && name.back().isLowSurrogate() ? 2 : 1);
    return target.left(slash + 1) + name + suffix;
}

bool IsPartialFileName(const QString& name, const QString& targetName) {
    static const QRegularExpression suffix(QStringLiteral("^\\.morvane-[0-9a-f]{16}\\.part$"));
    return name.startsWith(targetName) && suffix.match(QStringView(name).mid(targetName.size())).hasMatch();
}

int LocalSyncFileSystem(const QString& path) {
    const TPathAt at(path);
    if (at.Error())
        return at.Error();
    const int fd = ::openat(at.Dir(), at.Name(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int error = ::syncfs(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

int LocalOpenUnnamedBeside(const QString& target, unsigned mode) {
    const TPathAt at(target);
    if (at.Error())
        return -at.Error();
    const char* name = at.Name();
    const char* slash = std::strrchr(name, '/');
    const QByteArray folder = !slash          ? QByteArray(".")
                              : slash == name ? QByteArray("/")
                                              : QByteArray(name, slash - name);
    const int fd = ::openat(at.Dir(), folder.constData(), O_WRONLY | O_TMPFILE | O_CLOEXEC, mode);
    return fd >= 0 ? fd : -errno;
}

int LocalLinkUnnamed(int fd, const QString& target) {
    const TPathAt at(target);
    if (at.Error())
        return at.Error();
    // Linking a descriptor by its /proc name needs no privilege, unlike AT_EMPTY_PATH on older kernels.
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd);
    return Result(::linkat(AT_FDCWD, self.constData(), at.Dir(), at.Name(), AT_SYMLINK_FOLLOW));
}

int LocalOpenForReading(const QString& path) {
    const TPathAt at(path);
    if (at.Error())
        return -at.Error();
    // Non-blocking, so opening a pipe by mistake cannot hang; regular files ignore the flag.
    const int fd = ::openat(at.Dir(), at.Name(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    return fd >= 0 ? fd : -errno;
}

int LocalOpenForWriting(const QString& path, unsigned mode, bool exclusive) {
    const TPathAt at(path);
    if (at.Error())
        return -at.Error();
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (exclusive ? O_EXCL : O_TRUNC);
    const int fd = ::openat(at.Dir(), at.Name(), flags, mode);
    return fd >= 0 ? fd : -errno;
}

int LocalReadLink(const QString& path, QByteArray& target) {
    target.clear();
    const TPathAt at(path);
    if (at.Error())
        return at.Error();
    for (qsizetype size = 4096; size <= (1 << 20); size *= 4) {
        QByteArray buffer(size, Qt::Uninitialized);
        const ssize_t length = ::readlinkat(at.Dir(), at.Name(), buffer.data(), static_cast<size_t>(size));
        if (length < 0)
            return errno;
        if (length < size) {
            target = buffer.left(length);
            return 0;
        }
    }
    return ENAMETOOLONG;
}

int LocalCreateLink(const QByteArray& target, const QString& path) {
    const TPathAt at(path);
    if (at.Error())
        return at.Error();
    // Made under a passing name and moved over what is there, so an existing link is replaced, not
    // followed, and the name never shows a half-made entry.
    const QString partial = PartialFilePath(path);
    const TPathAt passing(partial);
    if (passing.Error())
        return passing.Error();
    if (::symlinkat(target.constData(), passing.Dir(), passing.Name()) != 0)
        return errno;
    if (::renameat(passing.Dir(), passing.Name(), at.Dir(), at.Name()) == 0)
        return 0;
    const int error = errno;
    ::unlinkat(passing.Dir(), passing.Name(), 0);
    return error;
}

QString SystemErrorMessage(int error) {
    char buffer[256] = {};
    return QString::fromLocal8Bit(::strerror_r(error, buffer, sizeof buffer));
}

} // namespace morvane
