#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace morvane {

// File operations on local paths of any length: a path longer than the system's limit is reached one
// folder at a time, so only each name is bounded (NAME_MAX). Functions return 0 or an errno value.

struct TLocalEntry {
    bool Exists = false;
    bool IsDirectory = false;
    bool ReadOnly = false;     // no owner write bit
    bool SymbolicLink = false; // only from the functions that look at a link itself
    int64_t Size = 0;
};

// The folder that holds a path's last name, opened when the whole path would be too long.
class TPathAt {
public:
    explicit TPathAt(const QString& path);
    ~TPathAt();
    TPathAt(const TPathAt&) = delete;
    TPathAt& operator=(const TPathAt&) = delete;

    int Error() const { return error_; }
    int Dir() const { return dirFd_; }
    const char* Name() const { return name_.constData(); }

private:
    int dirFd_;
    int error_ = 0;
    QByteArray name_;
};

int LocalStat(const QString& path, TLocalEntry& entry);
// Looks at the entry itself: a symbolic link is reported as a link, never followed.
int LocalLinkStat(const QString& path, TLocalEntry& entry);
// Looks at `relative` below the folder `base` without following a symbolic link anywhere below `base`:
// ELOOP when a folder on the way is a link, ENOTDIR when it is no folder; a missing folder on the way
// is no error (the entry is then reported missing). Fills `entry` for the last name as LocalLinkStat.
int LocalStatBelow(const QString& base, const QString& relative, TLocalEntry& entry);
// Gives the owner the write bit: the read-only attribute cleared.
int LocalMakeWritable(const QString& path);
int LocalDeleteFile(const QString& path);
int LocalRemoveEmptyDirectory(const QString& path);
// Removes everything below the folder and then the folder, making folders writable first; symbolic
// links are removed, never followed. 0 when nothing is left.
int LocalRemoveTree(const QString& path);
// Creates the folder and its missing parents; 0 when it exists afterwards.
int LocalCreateDirectories(const QString& path);
int LocalRename(const QString& from, const QString& to);
// Moves a file onto `to`, replacing what is there in one step.
int LocalReplaceFile(const QString& from, const QString& to);
// A name for a file being written beside `target`, which replaces the target only once complete.
QString PartialFilePath(const QString& target);
// True when `name` is a passing name PartialFilePath gives for a target named `targetName`.
bool IsPartialFileName(const QString& name, const QString& targetName);

// Opens a new file without a name in the folder that holds `target`, for writing; returns the
// descriptor or -errno (EOPNOTSUPP and the like where the file system cannot).
int LocalOpenUnnamedBeside(const QString& target, unsigned mode);
// Gives a file opened by LocalOpenUnnamedBeside the name `target`; EEXIST when something has that name.
int LocalLinkUnnamed(int fd, const QString& target);
// Opens a file for reading (O_RDONLY) or for writing (created or truncated); returns the descriptor or
// -errno. A symbolic link is never read through: reading one gives -ELOOP.
int LocalOpenForReading(const QString& path);
int LocalOpenForWriting(const QString& path, unsigned mode, bool exclusive = false);

// Writes out everything cached for the file system that holds `path` (a file or folder); 0 or the
// errno the system reports for writes it could not complete.
int LocalSyncFileSystem(const QString& path);
// The target a symbolic link holds, as bytes; 0 or an errno value.
int LocalReadLink(const QString& path, QByteArray& target);
// Makes `path` a symbolic link holding `target`, replacing a file or link there in one step (never
// following it); EISDIR when a folder is there.
int LocalCreateLink(const QByteArray& target, const QString& path);

// The system's message for an errno value.
QString SystemErrorMessage(int error);

} // namespace morvane
