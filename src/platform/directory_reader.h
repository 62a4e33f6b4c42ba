#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <ctime>

namespace morvane {

// What a folder walk needs of one entry, from one stat of it.
struct TDirectoryEntry {
    // Other: a pipe, socket or device, never opened. A symbolic link is a Link whatever it points to.
    enum class Type { File, Directory, Link, Missing, Other };
    QString Name; // the name's bytes as NameFromBytes gives them
    Type EntryType = Type::Missing;
    bool Hidden = false; // the name starts with "."
    timespec LastWrite{};
    timespec Changed{}; // the inode's change time: moves on every write, chmod, chown and rename
    int64_t Size = 0;
    uint32_t Mode = 0; // permission bits, with set-user, set-group and sticky bits
    uint32_t Owner = 0;
    uint32_t Group = 0;
};

// Reads one folder entry by entry, relative to an open descriptor, so a walk is bounded neither by
// the length of a path nor by the number of open folders above it (one per level).
class TDirectoryReader {
public:
    // Opens a folder by path (of any length).
    explicit TDirectoryReader(const QString& path);
    // Opens the folder `name` inside an open reader's folder; a symbolic link is never followed.
    TDirectoryReader(const TDirectoryReader& parent, const QByteArray& name);
    ~TDirectoryReader();
    TDirectoryReader(const TDirectoryReader&) = delete;
    TDirectoryReader& operator=(const TDirectoryReader&) = delete;

    // 0 when open, otherwise the errno value of the failure.
    int Error() const { return error_; }
    // The next entry other than "." and ".."; false at the end. A symbolic link is reported as itself
    // (its own time, the length of its target as size), never followed.
    bool Next(TDirectoryEntry& entry, QByteArray& rawName);
    // False once the folder itself has been removed.
    bool StillExists() const;

private:
    void Open(int fd);

    void* dir_ = nullptr;
    int error_ = 0;
};

} // namespace morvane
