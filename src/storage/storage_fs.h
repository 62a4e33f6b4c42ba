#pragma once

#include "platform/file_copy.h"

#include <QList>
#include <QString>

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>

namespace morvane {

class TJob;

// A failed storage action: the system code (an errno value) and the text the run log shows.
class TStorageError : public std::exception {
public:
    TStorageError(int code, QString text) : Code(code), Text(std::move(text)), utf8_(Text.toUtf8()) {}
    const char* what() const noexcept override { return utf8_.constData(); }

    int Code;
    QString Text;

private:
    QByteArray utf8_;
};

struct TStorageEntry {
    bool Exists = false;
    bool IsDirectory = false;
    bool ReadOnly = false;
    int64_t Size = 0;
};

// One name directly inside a listed folder.
struct TStorageListEntry {
    QString Name;
    bool IsDirectory = false;
};

// A file opened on one file system, read or written in chunks by a copy between two file systems.
class TStorageFile {
public:
    virtual ~TStorageFile() = default;
    // Bytes read (0 at the end) or -errno.
    virtual int64_t Read(char* buffer, int64_t size) = 0;
    // 0 or an errno value.
    virtual int Write(const char* buffer, int64_t size) = 0;
    // Closes the file, giving it the last-write time (seconds since 1970) when writing; 0 or an errno.
    virtual int Finish(int64_t lastWriteTime) = 0;
    virtual int64_t Size() const = 0;
    virtual int64_t LastWriteTime() const = 0;
    // What was opened, as Stat would tell it: a copy learns it from the open file, which saves a
    // request per file on a share.
    virtual TStorageEntry Entry() const = 0;
};

// The operations a job performs on its storage, on a local folder or an SMB share alike. Failures
// throw TStorageError unless a function says otherwise.
class TStorageFileSystem {
public:
    virtual ~TStorageFileSystem() = default;

    // A missing entry is reported as not existing; other failures throw.
    virtual TStorageEntry Stat(const QString& path) = 0;
    // Clears the read-only attribute (and whatever other attributes the file system keeps).
    virtual void SetAttributesNone(const QString& path) = 0;
    virtual void DeleteFile(const QString& path) = 0;
    // Removes a folder without its contents; false when it could not.
    virtual bool RemoveEmptyDirectory(const QString& path) = 0;
    // Removes everything below a folder and then the folder; false when something is left.
    virtual bool RemoveTree(const QString& path) = 0;
    // Creates the folder and its missing parents. Throws only when the path is malformed or its root
    // (the share) is missing; any other refusal shows up at the next copy into the folder.
    virtual void CreateDirectories(const QString& path) = 0;
    // Moves without ever replacing an existing entry at the new path.
    virtual void Rename(const QString& from, const QString& to) = 0;
    // Moves a complete file onto `to`, replacing the file there.
    virtual void ReplaceFile(const QString& from, const QString& to) = 0;
    // Open for chunked copying; throw on failure.
    virtual std::unique_ptr<TStorageFile> OpenForReading(const QString& path) = 0;
    // `onlyNew` refuses an existing file with EEXIST instead of replacing it.
    virtual std::unique_ptr<TStorageFile> OpenForWriting(const QString& path, bool sourceReadOnly,
                                                         bool onlyNew) = 0;
    // The files and folders directly inside a folder ("." and ".." left out).
    virtual QList<TStorageListEntry> List(const QString& path) = 0;
    // Makes everything written so far to the file system that holds `path` durable. Throws when the
    // system reports that earlier writes were lost.
    virtual void Flush(const QString& path) = 0;
    virtual bool IsLocal() const = 0;
};

// The "System Error.  Code: %d." text a failed copy produces, followed by the system's message.
QString CopyErrorText(int code);

// True for the three ways of writing an SMB path: \\server\share, //server/share and smb://server/share.
bool IsNetworkPath(const QString& path);

std::unique_ptr<TStorageFileSystem> MakeLocalFileSystem();

struct TCopyControl {
    std::atomic<int32_t>* Progress = nullptr;
    const std::atomic<int32_t>* CancelFlag = nullptr;
    bool NoBuffering = false;
    TTargetWrite TargetWrite = TTargetWrite::Atomic;
    int64_t* SourceSize = nullptr; // receives the source's size once it is open
};

// Copies a file between two file systems, writing the target as `control.TargetWrite` says; progress
// after each chunk, the cancel flag checked each chunk. A failed or cancelled copy leaves no partial
// file. Throws the copy's error text on failure (EEXIST for an existing target of TTargetWrite::NewOnly).
void CopyStorageFile(TStorageFileSystem& from, const QString& source, TStorageFileSystem& to,
                     const QString& target, const TCopyControl& control);

// As CopyStorageFile, but moves the file where source and target are on one local file system, which
// gives the target as the copy would. True when it was moved (the source is gone), false when copied.
bool MoveStorageFile(TStorageFileSystem& from, const QString& source, TStorageFileSystem& to,
                     const QString& target, const TCopyControl& control);

} // namespace morvane
