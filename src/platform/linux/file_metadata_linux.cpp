#include "platform/file_metadata.h"

#include "platform/linux/file_descriptor.h"
#include "platform/local_files.h"

#include <QList>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace morvane {

namespace {

constexpr int FolderStepFlags = O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool IsKind(mode_t mode, TMetadataTarget target) {
    switch (target) {
    case TMetadataTarget::File:
        return S_ISREG(mode);
    case TMetadataTarget::Folder:
        return S_ISDIR(mode);
    case TMetadataTarget::Link:
        return S_ISLNK(mode);
    }
    return false;
}

int SetMode(int dirFd, const char* name, mode_t mode) {
    if (::fchmodat(dirFd, name, mode, AT_SYMLINK_NOFOLLOW) == 0)
        return 0;
    // Without the kernel's own call the C library needs /proc for this; the entry was seen to be no link.
    if (errno != EOPNOTSUPP && errno != ENOSYS)
        return errno;
    return ::fchmodat(dirFd, name, mode, 0) == 0 ? 0 : errno;
}

int ApplyAt(int dirFd, const char* name, TMetadataTarget target, const TFileMetadata& metadata,
            bool setOwner) {
    struct stat info {};
    if (::fstatat(dirFd, name, &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (!IsKind(info.st_mode, target))
        return S_ISLNK(info.st_mode) ? ELOOP : EINVAL;
    if (setOwner && ::fchownat(dirFd, name, metadata.Owner, metadata.Group, AT_SYMLINK_NOFOLLOW) != 0)
        return errno;
    if (target != TMetadataTarget::Link)
        if (const int error = SetMode(dirFd, name, metadata.Mode & 07777); error != 0)
            return error;
    const timespec times[2] = {{0, UTIME_OMIT}, metadata.LastWrite};
    return ::utimensat(dirFd, name, times, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

} // namespace

int LocalReadMetadata(const QString& path, TFileMetadata& metadata) {
    const TPathAt at(path);
    if (at.Error() != 0)
        return at.Error();
    struct stat info {};
    if (::fstatat(at.Dir(), at.Name(), &info, 0) != 0)
        return errno;
    metadata.Mode = info.st_mode & 07777;
    metadata.Owner = info.st_uid;
    metadata.Group = info.st_gid;
    metadata.LastWrite = info.st_mtim;
    return 0;
}

int LocalApplyMetadata(const QString& root, const QByteArray& relative, TMetadataTarget target,
                       const TFileMetadata& metadata, bool setOwner) {
    const TPathAt at(root);
    if (at.Error() != 0)
        return at.Error();
    // The output folder the user chose may itself be a link; nothing below it is followed.
    FileDescriptor folder(::openat(at.Dir(), at.Name(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0)
        return errno;
    QList<QByteArray> names = relative.split('/');
    const QByteArray last = names.takeLast();
    if (last.isEmpty() || last == "." || last == "..")
        return EINVAL;
    for (const QByteArray& name : std::as_const(names)) {
        if (name.isEmpty() || name == "." || name == "..")
            return EINVAL;
        const int next = ::openat(folder.get(), name.constData(), FolderStepFlags);
        if (next < 0)
            return errno;
        folder.Reset(next);
    }
    return ApplyAt(folder.get(), last.constData(), target, metadata, setOwner);
}

bool RunningAsRoot() {
    return ::geteuid() == 0;
}

} // namespace morvane
