#include "storage/file_operation.h"

#include "i18n/translation.h"
#include "jobs/run_log.h"
#include "platform/file_copy.h"
#include "platform/local_files.h"
#include "platform/paths.h"
#include "storage/prepared_copies.h"
#include "storage/storage_connection.h"
#include "storage/storage_faults.h"
#include "storage/storage_helpers.h"
#include "storage/storage_smb.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace morvane {

namespace {

// Leaves FileOperation at once with the given result, without further attempts.
struct LeaveOperation {
    TOperationResult result;
};

QString WithoutLineBreaks(QString text) {
    return text.remove(QStringLiteral("\r\n"));
}

// The file name of a storage path; an SMB path may still separate its names with backslashes.
QString StorageFileName(const QString& path) {
    if (!IsNetworkPath(path))
        return ExtractFileName(path);
    return path.mid(std::max(path.lastIndexOf(u'/'), path.lastIndexOf(u'\\')) + 1);
}

// True when the path names no file: nothing there, or a folder.
bool IsMissingFile(TStorageFileSystem& fs, const QString& path) {
    try {
        const TStorageEntry entry = fs.Stat(path);
        return !entry.Exists || entry.IsDirectory;
    } catch (const TStorageError&) {
        return false;
    }
}

// One call of FileOperation: the job, its storage and what the attempts share.
class FileOperationRun {
public:
    FileOperationRun(TJob& job, bool logError) : job_(job), storage_(job), logError_(logError) {}

    TOperationResult Run(TFileOperationType type, const QString& local, const QString& remote,
                         int retryCount);

private:
    // Sleeps until the next attempt, shown as a wait; false when the run was cancelled meanwhile.
    bool WaitBeforeRetry(int seconds, TFileOperationType type);
    // A cancel given during this call: the flag, or the run turning to cancelling (a run that was
    // cancelling already, in its closing steps, keeps its retries).
    bool CancelGiven() const {
        return job_.CancelCurrentFileOperation != 0 ||
               (!cancellingAtStart_ && job_.JobStatus == jsCancelling);
    }

    bool MakeTemporaryCopy(const QString& local, const QString& remote);
    bool TakePreparedCopy(const QString& local, const QString& temporary);
    void Attempt(TFileOperationType type, const QString& local, const QString& remote);
    void CopyToStorage(const QString& local, const QString& remote);
    void CopyFromStorage(const QString& local, const QString& remote);
    void CopyNewOrReplace(TStorageFileSystem& fromFs, const QString& from, TStorageFileSystem& toFs,
                          const QString& to);
    void MoveNewOrReplace(TStorageFileSystem& fromFs, TStorageFileSystem& toFs, const QString& to);
    void MoveTemporaryCopy(TStorageFileSystem& fromFs, TStorageFileSystem& toFs, const QString& to,
                           TTargetWrite targetWrite);
    [[noreturn]] void LeaveForMissingLocalFile(const QString& local);
    void CountSize(int64_t size) {
        if (!sizeCounted_)
            job_.CurrentBackupSize += size;
        sizeCounted_ = true;
    }
    void RemoveFile(const QString& remote);
    void RemoveFolder(const QString& remote, bool withContents);
    void Rename(const QString& from, const QString& to, bool folder);
    void DeleteTemporaryCopy();

    void LogError(const QString& text) {
        if (logError_)
            AddErrorToRunLog(job_, WithoutLineBreaks(text));
    }
    void RemoveReadOnly(TStorageFileSystem& fs, const QString& path) {
        const TStorageEntry entry = fs.Stat(path);
        if (!entry.Exists || !entry.ReadOnly)
            return;
        AddToRunLog(job_, QStringLiteral("Removing the read-only attribute:"), path);
        fs.SetAttributesNone(path);
    }
    bool SilentInternal(const QString& path) const {
        return job_.JobOptions.Logging.DontLogCopyingInternalFiles && IsInternalFile(path);
    }
    TCopyControl Control(TTargetWrite targetWrite) {
        return {&job_.CurrentFileOperationProgress, &job_.CancelCurrentFileOperation,
                job_.JobOptions.Processing.DontUseBufferingForCopyOperations, targetWrite};
    }

    TJob& job_;
    TStorageAccess storage_;
    bool logError_;
    QString temporaryCopy_;
    int64_t temporarySize_ = 0;
    bool skipNextCopyLine_ = false;
    bool sizeCounted_ = false;
    bool cancellingAtStart_ = job_.JobStatus == jsCancelling;
};

TOperationResult FileOperationRun::Run(TFileOperationType type, const QString& local, const QString& remote,
                                       int retryCount) {
    QString source = local;
    if (type == atCopyFromLocalToRemoteFileThroughTempFolder) {
        if (!MakeTemporaryCopy(local, remote)) {
            job_.CurrentFileOperationProgress = 0;
            return orERROR_LocalAccess;
        }
        source = temporaryCopy_;
        type = atCopyFromLocalToRemoteFile;
        skipNextCopyLine_ = true;
    }
    // Progress first: whoever sees the new kind of operation must not see the temporary copy's progress.
    job_.CurrentFileOperationProgress = 0;
    job_.CurrentFileOperationType = type;
    TOperationResult result = orERROR_RemoteAccess;
    const int waitSeconds = std::max(0, job_.JobOptions.Processing.IfDestinationNotAvailable_Wait_Sec);
    for (int attempt = 0; result != orSuccess && !CancelGiven() && attempt <= retryCount; ++attempt) {
        if (attempt > 0) {
            AddToRunLog(job_, FormatText(job_.TranslateText(QStringLiteral("Retry after %s seconds.")),
                                         {QString::number(waitSeconds)}));
            if (!WaitBeforeRetry(waitSeconds, type))
                break;
        }
        try {
            Attempt(type, source, remote);
            result = orSuccess;
        } catch (const TStorageError& error) {
            job_.CurrentFileOperationProgress = 0;
            if (error.Code == EILSEQ) {
                // Waiting never mends a name the storage cannot hold: this entry is left out.
                LogError(
                    job_.TranslateText(QStringLiteral("The name cannot be stored on the backup storage:")) +
                    u' ' + remote);
                result = orERROR_LocalAccess;
                break;
            }
            LogError(error.Text);
        } catch (const LeaveOperation& leave) {
            result = leave.result;
            break;
        }
    }
    job_.CancelCurrentFileOperation = 0;
    DeleteTemporaryCopy();
    return result;
}

bool FileOperationRun::WaitBeforeRetry(int seconds, TFileOperationType type) {
    using Clock = std::chrono::steady_clock;
    // Short steps, so Cancel, Ctrl+C and SIGTERM end the wait at once rather than after it.
    constexpr auto Step = std::chrono::milliseconds(50);
    const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
    job_.RetryDeadline = Now() + seconds / (24.0 * 3600.0);
    job_.CurrentFileOperationType = atNone_WaitingForReconnection;
    while (!CancelGiven()) {
        const Clock::time_point now = Clock::now();
        if (now >= end)
            break;
        std::this_thread::sleep_for(std::min<Clock::duration>(Step, end - now));
    }
    job_.CurrentFileOperationType = type;
    job_.RetryDeadline = 0;
    return !CancelGiven();
}

bool FileOperationRun::MakeTemporaryCopy(const QString& local, const QString& remote) {
    AddToRunLog(job_, QStringLiteral("Copying the file:"), local);
    TStorageFileSystem& localFs = storage_.For(local);
    const QString temporary =
        JoinPath(JoinPath(job_.JobOptions.General.PathForTempFiles, job_.stJobName), StorageFileName(remote));
    try {
        if (!TakePreparedCopy(local, temporary)) {
            TCopyControl control = Control(TTargetWrite::InPlace);
            control.SourceSize = &temporarySize_;
            CopyStorageFile(localFs, local, storage_.For(temporary), temporary, control);
            temporaryCopy_ = temporary;
        }
    } catch (const TStorageError& error) {
        // A missing file is told apart only after a failure: a copy that works needs no look first.
        if (IsMissingFile(localFs, local))
            LogError(job_.TranslateText(QStringLiteral("The file does not exist.")));
        else if (!(job_.JobOptions.Processing.SkipLockedFiles && IsSharingViolation(error.Code)))
            LogError(error.Text + u' ' + local); // the error line names the file it could not read
        return false;
    }
    return true;
}

// A copy made ahead stands for the one this operation would make. It is counted as that copy, so a
// storage fault chosen by number hits the same operation whether or not the copy was made ahead.
bool FileOperationRun::TakePreparedCopy(const QString& local, const QString& temporary) {
    if (!job_.PreparedCopies)
        return false;
    std::optional<TPreparedCopy> prepared = job_.PreparedCopies->Take(local);
    if (!prepared)
        return false;
    if (const int error = CountLocalCopy(local, temporary, TTargetWrite::InPlace)) {
        LocalDeleteFile(prepared->Path);
        throw TStorageError(error, CopyErrorText(error));
    }
    temporaryCopy_ = prepared->Path;
    temporarySize_ = prepared->SourceSize;
    CopyProgressRoutine(temporarySize_, temporarySize_, &job_.CurrentFileOperationProgress);
    return true;
}

void FileOperationRun::Attempt(TFileOperationType type, const QString& local, const QString& remote) {
    switch (type) {
    case atCopyFromLocalToRemoteFile:
        return CopyToStorage(local, remote);
    case atCopyFromRemoteToLocalFile:
        return CopyFromStorage(local, remote);
    case atRemoveRemoteFile:
        return RemoveFile(remote);
    case atRemoveRemoteEmptyFolder:
        return RemoveFolder(remote, false);
    case atRemoveRemoteNotEmptyFolder:
        return RemoveFolder(remote, true);
    case atCreateRemoteFolder:
        AddToRunLog(job_, QStringLiteral("Creating the directory:"), remote);
        return storage_.For(remote).CreateDirectories(remote);
    case atRenameRemoteFolder:
        AddToRunLog(job_, QStringLiteral("Renaming the directory:"), remote);
        return Rename(remote, local, true);
    case atRenameRemoteFile:
        AddToRunLog(job_, QStringLiteral("Renaming the file:"), remote);
        return Rename(remote, local, false);
    case atCopyFromLocalToRemoteFileThroughTempFolder:
    case atNone_WaitingForReconnection:
    case atNone:
        return;
    }
}

void FileOperationRun::CopyToStorage(const QString& local, const QString& remote) {
    if (!skipNextCopyLine_ && !SilentInternal(local))
        AddToRunLog(job_, QStringLiteral("Copying the file:"), local);
    skipNextCopyLine_ = false;
    TStorageFileSystem& localFs = storage_.For(local);
    TStorageFileSystem& remoteFs = storage_.For(remote);
    if (temporaryCopy_.isEmpty()) {
        // The job's own files: looked at first, and never shown partial on the storage.
        const TStorageEntry source = localFs.Stat(local);
        if (!source.Exists || source.IsDirectory)
            LeaveForMissingLocalFile(local);
        RemoveReadOnly(remoteFs, remote);
        CountSize(source.Size);
        CopyStorageFile(localFs, local, remoteFs, remote, Control(TTargetWrite::Atomic));
        return;
    }
    // A scanned file, from the temporary copy just made; it goes into the run's own folders, which a
    // crash marks as interrupted.
    CountSize(temporarySize_);
    try {
        MoveNewOrReplace(localFs, remoteFs, remote);
    } catch (const TStorageError&) {
        if (IsMissingFile(localFs, local))
            LeaveForMissingLocalFile(local);
        throw;
    }
}

void FileOperationRun::CopyFromStorage(const QString& local, const QString& remote) {
    if (!SilentInternal(local))
        AddToRunLog(job_, QStringLiteral("Copying the file:"), remote);
    TStorageFileSystem& remoteFs = storage_.For(remote);
    try {
        CopyNewOrReplace(remoteFs, remote, storage_.For(local), local);
    } catch (const TStorageError&) {
        if (IsMissingFile(remoteFs, remote))
            throw TStorageError(ENOENT, job_.TranslateText(QStringLiteral("The file does not exist.")));
        throw;
    }
}

// A new target is written directly. An existing one has its read-only attribute removed first and is
// replaced only by a complete copy. Existence is learnt from the attempt, which saves a look per file.
void FileOperationRun::CopyNewOrReplace(TStorageFileSystem& fromFs, const QString& from,
                                        TStorageFileSystem& toFs, const QString& to) {
    try {
        CopyStorageFile(fromFs, from, toFs, to, Control(TTargetWrite::NewOnly));
        return;
    } catch (const TStorageError& error) {
        if (error.Code != EEXIST)
            throw;
    }
    RemoveReadOnly(toFs, to);
    CopyStorageFile(fromFs, from, toFs, to, Control(TTargetWrite::Atomic));
}

// As CopyNewOrReplace, for the temporary copy: moved into place where the file system allows, which
// leaves nothing to delete afterwards.
void FileOperationRun::MoveNewOrReplace(TStorageFileSystem& fromFs, TStorageFileSystem& toFs,
                                        const QString& to) {
    try {
        MoveTemporaryCopy(fromFs, toFs, to, TTargetWrite::NewOnly);
        return;
    } catch (const TStorageError& error) {
        if (error.Code != EEXIST)
            throw;
    }
    RemoveReadOnly(toFs, to);
    MoveTemporaryCopy(fromFs, toFs, to, TTargetWrite::Atomic);
}

void FileOperationRun::MoveTemporaryCopy(TStorageFileSystem& fromFs, TStorageFileSystem& toFs,
                                         const QString& to, TTargetWrite targetWrite) {
    if (MoveStorageFile(fromFs, temporaryCopy_, toFs, to, Control(targetWrite)))
        temporaryCopy_.clear();
}

void FileOperationRun::LeaveForMissingLocalFile(const QString& local) {
    LogError(job_.TranslateText(QStringLiteral("The file does not exist.")) + u' ' + local);
    throw LeaveOperation{orERROR_LocalAccess};
}

void FileOperationRun::RemoveFile(const QString& remote) {
    TStorageFileSystem& fs = storage_.For(remote);
    const TStorageEntry entry = fs.Stat(remote);
    if (!entry.Exists)
        throw TStorageError(ENOENT, QStringLiteral("The specified file was not found"));
    if (entry.ReadOnly) {
        AddToRunLog(job_, QStringLiteral("Removing the read-only attribute:"), remote);
        fs.SetAttributesNone(remote);
    }
    if (!SilentInternal(remote))
        AddToRunLog(job_, QStringLiteral("Removing the file:"), remote);
    fs.DeleteFile(remote);
}

void FileOperationRun::RemoveFolder(const QString& remote, bool withContents) {
    AddToRunLog(job_,
                withContents ? TR_NOOP("Removing the full directory:")
                             : TR_NOOP("Removing the empty directory:"),
                remote);
    TStorageFileSystem& fs = storage_.For(remote);
    if (withContents)
        fs.RemoveTree(remote);
    else
        fs.RemoveEmptyDirectory(remote);
    if (!fs.Stat(remote).Exists)
        return;
    const bool removed = fs.IsLocal() ? ForceDeleteShell(remote) : fs.RemoveTree(remote);
    if (!removed)
        throw TStorageError(EIO, job_.TranslateText(QStringLiteral("Unable to remove the directory.")));
}

void FileOperationRun::Rename(const QString& from, const QString& to, bool folder) {
    TStorageFileSystem& fromFs = storage_.For(from);
    TStorageFileSystem& toFs = storage_.For(to);
    try {
        if (&fromFs != &toFs)
            throw TStorageError(EXDEV, SystemErrorMessage(EXDEV));
        fromFs.Rename(from, to);
    } catch (const TStorageError& error) {
        if (error.Code == EEXIST)
            throw TStorageError(EEXIST, folder ? QStringLiteral("The specified directory already exists")
                                               : QStringLiteral("The specified file already exists"));
        if (folder || error.Code != EXDEV || toFs.Stat(to).Exists)
            throw;
        // A file moves to another volume as a copy followed by deleting the original.
        CopyStorageFile(fromFs, from, toFs, to, Control(TTargetWrite::Atomic));
        fromFs.DeleteFile(from);
    }
}

void FileOperationRun::DeleteTemporaryCopy() {
    if (temporaryCopy_.isEmpty())
        return;
    try {
        TStorageFileSystem& fs = storage_.For(temporaryCopy_);
        try {
            fs.DeleteFile(temporaryCopy_);
        } catch (const TStorageError&) {
            // A file system that keeps a read-only attribute refuses to delete such a file.
            const TStorageEntry entry = fs.Stat(temporaryCopy_);
            if (!entry.Exists || !entry.ReadOnly)
                return;
            fs.SetAttributesNone(temporaryCopy_);
            fs.DeleteFile(temporaryCopy_);
        }
    } catch (const TStorageError&) {
        // A leftover temporary copy is removed with the job's temporary files at the end of the run.
    }
}

} // namespace

TStorageAccess::TStorageAccess(const TJob& job) : job_(job), local_(MakeLocalFileSystem()) {}

TStorageAccess::~TStorageAccess() = default;

TStorageFileSystem& TStorageAccess::For(const QString& path) {
    if (!IsNetworkPath(path))
        return *local_;
    if (!smb_) {
        TSmbContext* context = job_.NetworkConnection ? job_.NetworkConnection->Context() : nullptr;
        if (!context) {
            const QString& user = job_.Destination_NetworkUsername;
            ownContext_ = std::make_unique<TSmbContext>(user.trimmed().isEmpty() ? QString() : user,
                                                        job_.Destination_NetworkPassword);
            if (const int error = ownContext_->InitError())
                throw TStorageError(error, SmbContextErrorText(error));
            context = ownContext_.get();
        }
        smb_ = MakeSmbFileSystem(*context);
    }
    return *smb_;
}

TOperationResult TJob::FileOperation(TFileOperationType csOperationType, const QString& csstrLocal,
                                     const QString& csstrRemote, int RetryCount, bool LogError) {
    CancelCurrentFileOperation = 0;
    CurrentFileOperationProgress = 0;
    CurrentFileOperationType = csOperationType;
    const bool localSide = csOperationType == atCopyFromLocalToRemoteFile ||
                           csOperationType == atCopyFromLocalToRemoteFileThroughTempFolder;
    CurrentFileOperationPath.Set(localSide ? csstrLocal : csstrRemote);
    FileOperationRun run(*this, LogError);
    try {
        return run.Run(csOperationType, csstrLocal, csstrRemote, RetryCount);
    } catch (const TStorageError& error) {
        // Only reaching the local side of a temporary copy can throw outside the attempts.
        if (LogError)
            AddErrorToRunLog(*this, WithoutLineBreaks(error.Text));
        CancelCurrentFileOperation = 0;
        CurrentFileOperationProgress = 0;
        return orERROR_LocalAccess;
    }
}

} // namespace morvane
