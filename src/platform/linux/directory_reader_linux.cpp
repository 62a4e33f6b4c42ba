#include "platform/directory_reader.h"

#include "platform/file_names.h"
#include "platform/local_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace morvane {

namespace {

constexpr int DirectoryOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

TDirectoryEntry::Type TypeOf(mode_t mode) {
    if (S_ISREG(mode))
        return TDirectoryEntry::Type::File;
    if (S_ISDIR(mode))
        return TDirectoryEntry::Type::Directory;
    if (S_ISLNK(mode))
        return TDirectoryEntry::Type::Link;
    return TDirectoryEntry::Type::Other;
}

} // namespace

TDirectoryReader::TDirectoryReader(const QString& path) {
    const TPathAt at(path);
    if (at.Error() != 0) {
        error_ = at.Error();
        return;
    }
    // The folder the user named may itself be a link; links inside it are never entered.
    Open(::openat(at.Dir(), at.Name(), DirectoryOpenFlags & ~O_NOFOLLOW));
}

TDirectoryReader::TDirectoryReader(const TDirectoryReader& parent, const QByteArray& name) {
    if (!parent.dir_) {
        error_ = EBADF;
        return;
    }
    Open(::openat(::dirfd(static_cast<DIR*>(parent.dir_)), name.constData(), DirectoryOpenFlags));
}

void TDirectoryReader::Open(int fd) {
    if (fd < 0) {
        error_ = errno;
        return;
    }
    dir_ = ::fdopendir(fd);
    if (!dir_) {
        error_ = errno;
        ::close(fd);
    }
}

TDirectoryReader::~TDirectoryReader() {
    if (dir_)
        ::closedir(static_cast<DIR*>(dir_));
}

bool TDirectoryReader::Next(TDirectoryEntry& entry, QByteArray& rawName) {
    if (!dir_)
        return false;
    DIR* dir = static_cast<DIR*>(dir_);
    while (const dirent* item = ::readdir(dir)) {
        const char* name = item->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        rawName = QByteArray(name);
        entry = TDirectoryEntry{};
        entry.Name = NameFromBytes(rawName);
        entry.Hidden = name[0] == '.';
        struct stat info {};
        if (::fstatat(::dirfd(dir), name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            return true; // vanished since it was listed: Missing
        entry.EntryType = TypeOf(info.st_mode);
        entry.LastWrite = info.st_mtim;
        entry.Changed = info.st_ctim;
        entry.Size = info.st_size;
        entry.Mode = info.st_mode & 07777;
        entry.Owner = info.st_uid;
        entry.Group = info.st_gid;
        return true;
    }
    return false;
}

bool TDirectoryReader::StillExists() const {
    struct stat info {};
    return dir_ && ::fstat(::dirfd(static_cast<DIR*>(dir_)), &info) == 0 && info.st_nlink > 0;
}

} // namespace morvane
