#include "storage/storage_fs.h"

#include "storage/storage_faults.h"

#include "platform/directory_reader.h"
#include "platform/file_copy.h"
#include "platform/local_files.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <vector>

namespace morvane {

namespace {

constexpr int64_t ChunkBytes = 4 << 20;
constexpr int64_t SmallChunkBytes = 64 << 10;

[[noreturn]] void ThrowSystemError(int code) {
    throw TStorageError(code, SystemErrorMessage(code));
}

void Check(int error) {
    if (error != 0)
        ThrowSystemError(error);
}

// A local file opened by descriptor, so paths of any length work.
class LocalFile final : public TStorageFile {
public:
    LocalFile(int fd, QFile::OpenMode mode) { file_.open(fd, mode, QFile::AutoCloseHandle); }

    int64_t Read(char* buffer, int64_t size) override {
        const qint64 got = file_.read(buffer, size);
        return got >= 0 ? got : -EIO;
    }
    int Write(const char* buffer, int64_t size) override {
        return file_.write(buffer, size) == size ? 0 : ErrorOf(file_.error());
    }
    int Finish(int64_t lastWriteTime) override {
        if (file_.openMode() & QIODevice::WriteOnly) {
            if (!file_.flush())
                return ErrorOf(file_.error());
            file_.setFileTime(QDateTime::fromSecsSinceEpoch(lastWriteTime),
                              QFileDevice::FileModificationTime);
            if (readOnly_)
                file_.setPermissions(file_.permissions() & ~(QFile::WriteOwner | QFile::WriteUser));
        }
        file_.close();
        return 0;
    }
    int64_t Size() const override { return file_.size(); }
    int64_t LastWriteTime() const override {
        return file_.fileTime(QFileDevice::FileModificationTime).toSecsSinceEpoch();
    }
    TStorageEntry Entry() const override {
        struct stat info {};
        if (::fstat(file_.handle(), &info) != 0)
            return {};
        return {true, S_ISDIR(info.st_mode), (info.st_mode & S_IWUSR) == 0,
                static_cast<int64_t>(info.st_size)};
    }
    void MarkReadOnly(bool readOnly) { readOnly_ = readOnly; }

private:
    static int ErrorOf(QFileDevice::FileError error) {
        return error == QFileDevice::ResourceError ? ENOSPC : EIO;
    }

    QFile file_;
    bool readOnly_ = false;
};

class LocalFileSystem final : public TStorageFileSystem {
public:
    TStorageEntry Stat(const QString& path) override {
        TLocalEntry local;
        Check(LocalStat(path, local));
        return {local.Exists, local.IsDirectory, local.ReadOnly, local.Size};
    }
    void SetAttributesNone(const QString& path) override { Check(LocalMakeWritable(path)); }
    void DeleteFile(const QString& path) override { Check(LocalDeleteFile(path)); }
    bool RemoveEmptyDirectory(const QString& path) override {
        LocalMakeWritable(path);
        return LocalRemoveEmptyDirectory(path) == 0;
    }
    bool RemoveTree(const QString& path) override { return LocalRemoveTree(path) == 0; }
    void CreateDirectories(const QString& path) override {
        if (!path.startsWith(u'/'))
            throw TStorageError(EINVAL, QStringLiteral("The path is not absolute: ") + path);
        // Other refusals are not reported here: the next copy into the folder reports them.
        LocalCreateDirectories(path);
    }
    void Rename(const QString& from, const QString& to) override { Check(LocalRename(from, to)); }
    void ReplaceFile(const QString& from, const QString& to) override { Check(LocalReplaceFile(from, to)); }
    std::unique_ptr<TStorageFile> OpenForReading(const QString& path) override {
        const int fd = LocalOpenForReading(path);
        if (fd < 0)
            throw TStorageError(-fd, CopyErrorText(-fd));
        return std::make_unique<LocalFile>(fd, QIODevice::ReadOnly);
    }
    // Always exclusive: a leftover is never written into, whatever `onlyNew` says.
    std::unique_ptr<TStorageFile> OpenForWriting(const QString& path, bool sourceReadOnly, bool) override {
        const int fd = LocalOpenForWriting(path, 0666, true);
        if (fd < 0)
            throw TStorageError(-fd, CopyErrorText(-fd));
        auto file = std::make_unique<LocalFile>(fd, QIODevice::WriteOnly);
        file->MarkReadOnly(sourceReadOnly);
        return file;
    }
    QList<TStorageListEntry> List(const QString& path) override {
        TDirectoryReader reader(path);
        Check(reader.Error());
        QList<TStorageListEntry> entries;
        TDirectoryEntry entry;
        QByteArray rawName;
        while (reader.Next(entry, rawName))
            entries.append({entry.Name, entry.EntryType == TDirectoryEntry::Type::Directory});
        return entries;
    }
    void Flush(const QString& path) override { Check(LocalSyncFileSystem(path)); }
    bool IsLocal() const override { return true; }
};

bool IsCancelled(const TCopyControl& control) {
    return control.CancelFlag && control.CancelFlag->load(std::memory_order_relaxed) != 0;
}

// Moves the bytes chunk by chunk; 0 or the errno that stopped it.
int CopyChunks(TStorageFile& in, TStorageFile& out, const TCopyControl& control) {
    const int64_t total = in.Size();
    // Sized to the file: clearing a whole chunk's buffer for each small file costs more than its copy.
    std::vector<char> buffer(total > 0 ? std::min(total, ChunkBytes) : SmallChunkBytes);
    int64_t done = 0;
    CopyProgressRoutine(total, 0, control.Progress);
    // A file read up to the size it was opened with is complete: the read that would see its end
    // costs a request of its own on a share.
    while (total <= 0 || done < total) {
        if (IsCancelled(control))
            return ECANCELED;
        const int64_t got = in.Read(buffer.data(), static_cast<int64_t>(buffer.size()));
        if (got < 0)
            return static_cast<int>(-got);
        if (got == 0)
            return 0;
        if (const int error = out.Write(buffer.data(), got))
            return error;
        done += got;
        CopyProgressRoutine(total, done, control.Progress);
    }
    return 0;
}

// Opens the source of a copy: a missing one gives ENOENT, a folder EISDIR.
std::unique_ptr<TStorageFile> OpenCopySource(TStorageFileSystem& from, const QString& source) {
    std::unique_ptr<TStorageFile> in;
    try {
        in = from.OpenForReading(source);
    } catch (const TStorageError& error) {
        if (error.Code != ENOTDIR)
            throw;
        throw TStorageError(ENOENT, CopyErrorText(ENOENT));
    }
    if (in->Entry().IsDirectory) {
        in->Finish(0);
        throw TStorageError(EISDIR, CopyErrorText(EISDIR));
    }
    return in;
}

TCopyFileSettings LocalCopySettings(const TCopyControl& control) {
    return {control.Progress, control.CancelFlag, control.NoBuffering, control.TargetWrite,
            control.SourceSize};
}

// Copies or moves between two local paths, counted as one copy for the fault seam; true when moved. A
// move across two file systems turns into a copy.
bool TransferLocalFile(const QString& source, const QString& target, const TCopyControl& control, bool move) {
    int error = CountLocalCopy(source, target, control.TargetWrite);
    if (error == 0 && move) {
        error = MoveLocalFile(source, target, control.TargetWrite != TTargetWrite::NewOnly);
        if (error == 0)
            return true;
        if (error == EXDEV)
            error = CopyLocalFile(source, target, LocalCopySettings(control));
    } else if (error == 0) {
        error = CopyLocalFile(source, target, LocalCopySettings(control));
    }
    if (error != 0)
        throw TStorageError(error, CopyErrorText(error));
    return false;
}

} // namespace

QString CopyErrorText(int code) {
    return QStringLiteral("System Error.  Code: %1.").arg(code) + SystemErrorMessage(code);
}

bool IsNetworkPath(const QString& path) {
    return path.startsWith(QStringLiteral("\\\\")) || path.startsWith(QStringLiteral("//")) ||
           path.startsWith(QStringLiteral("smb://"), Qt::CaseInsensitive);
}

std::unique_ptr<TStorageFileSystem> MakeLocalFileSystem() {
    return WithStorageFaults(std::make_unique<LocalFileSystem>());
}

void CopyStorageFile(TStorageFileSystem& from, const QString& source, TStorageFileSystem& to,
                     const QString& target, const TCopyControl& control) {
    if (from.IsLocal() && to.IsLocal()) {
        TransferLocalFile(source, target, control, false);
        return;
    }
    // The source is opened before anything is asked about it, and a new-only target is created
    // exclusively: on a share each look by name is a request of its own.
    const std::unique_ptr<TStorageFile> in = OpenCopySource(from, source);
    const TStorageEntry sourceEntry = in->Entry();
    if (control.SourceSize)
        *control.SourceSize = sourceEntry.Size;
    // Only a target that may hold a previous version is written under a passing name.
    const bool direct = control.TargetWrite != TTargetWrite::Atomic;
    const QString written = direct ? target : PartialFilePath(target);
    const std::unique_ptr<TStorageFile> out = to.OpenForWriting(written, sourceEntry.ReadOnly, direct);
    int error = CopyChunks(*in, *out, control);
    const int closeError = out->Finish(in->LastWriteTime());
    in->Finish(0);
    if (error == 0)
        error = closeError;
    try {
        if (error == 0 && !direct)
            to.ReplaceFile(written, target);
    } catch (const TStorageError& replaceError) {
        error = replaceError.Code;
    }
    if (error != 0) {
        try {
            to.DeleteFile(written);
        } catch (const TStorageError&) {
            // The copy's own error is the one worth reporting.
        }
        throw TStorageError(error, CopyErrorText(error));
    }
}

bool MoveStorageFile(TStorageFileSystem& from, const QString& source, TStorageFileSystem& to,
                     const QString& target, const TCopyControl& control) {
    if (from.IsLocal() && to.IsLocal())
        return TransferLocalFile(source, target, control, true);
    CopyStorageFile(from, source, to, target, control);
    return false;
}

} // namespace morvane
