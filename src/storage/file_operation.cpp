#include "storage/file_operation.h"

#include "i18n/translation.h"
#include "jobs/run_log.h"
#include "platform/file_copy.h"
#include "platform/local_files.h"
#include "platform/paths.h"
#include "storage/storage_connection.h"
#include "storage/storage_helpers.h"
#include "storage/storage_smb.h"

#include <QThread>

#include <cerrno>

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

// One call of FileOperation: the job, its storage and what the attempts share.
class FileOperationRun {
public:
    FileOperationRun(TJob& job, bool logError) : job_(job), storage_(job), logError_(logError) {}

    TOperationResult Run(TFileOperationType type, const QString& local, const QString& remote,
                         int retryCount);

private:
    bool MakeTemporaryCopy(const QString& local, const QString& remote);
    void Attempt(TFileOperationType type, const QString& local, const QString& remote);
    void CopyToStorage(const QString& local, const QString& remote);
    void CopyFromStorage(const QString& local, const QString& remote);
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
    TCopyControl Control() {
        return {&job_.CurrentFileOperationProgress, &job_.CancelCurrentFileOperation,
                job_.JobOptions.Processing.DontUseBufferingForCopyOperations};
    }

    TJob& job_;
    TStorageAccess storage_;
    bool logError_;
    QString temporaryCopy_;
    bool skipNextCopyLine_ = false;
    bool sizeCounted_ = false;
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
    job_.CurrentFileOperationType = type;
    job_.CurrentFileOperationProgress = 0;
    TOperationResult result = orERROR_RemoteAccess;
    const int waitSeconds = std::max(0, job_.JobOptions.Processing.IfDestinationNotAvailable_Wait_Sec);
    for (int attempt = 0;
         result != orSuccess && job_.CancelCurrentFileOperation == 0 && attempt <= retryCount; ++attempt) {
        if (attempt > 0) {
            AddToRunLog(job_, FormatText(job_.TranslateText(QStringLiteral("Retry after %s seconds.")),
                                         {QString::number(waitSeconds)}));
            QThread::sleep(static_cast<unsigned long>(waitSeconds));
        }
        try {
            Attempt(type, source, remote);
            result = orSuccess;
        } catch (const TStorageError& error) {
            job_.CurrentFileOperationProgress = 0;
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

bool FileOperationRun::MakeTemporaryCopy(const QString& local, const QString& remote) {
    AddToRunLog(job_, QStringLiteral("Copying the file:"), local);
    TStorageFileSystem& localFs = storage_.For(local);
    const TStorageEntry entry = localFs.Stat(local);
    if (!entry.Exists || entry.IsDirectory) {
        LogError(job_.TranslateText(QStringLiteral("The file does not exist.")));
        return false;
    }
    const QString temporary =
        JoinPath(JoinPath(job_.JobOptions.General.PathForTempFiles, job_.stJobName), StorageFileName(remote));
    try {
        CopyStorageFile(localFs, local, storage_.For(temporary), temporary, Control());
    } catch (const TStorageError& error) {
        const bool locked = job_.JobOptions.Processing.SkipLockedFiles && IsSharingViolation(error.Code);
        if (!locked)
            LogError(error.Text);
        return false;
    }
    temporaryCopy_ = temporary;
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
    const TStorageEntry source = localFs.Stat(local);
    if (!source.Exists || source.IsDirectory) {
        LogError(job_.TranslateText(QStringLiteral("The file does not exist.")) + u' ' + local);
        throw LeaveOperation{orERROR_LocalAccess};
    }
    TStorageFileSystem& remoteFs = storage_.For(remote);
    RemoveReadOnly(remoteFs, remote);
    if (!sizeCounted_) {
        job_.CurrentBackupSize += source.Size;
        sizeCounted_ = true;
    }
    CopyStorageFile(localFs, local, remoteFs, remote, Control());
}

void FileOperationRun::CopyFromStorage(const QString& local, const QString& remote) {
    if (!SilentInternal(local))
        AddToRunLog(job_, QStringLiteral("Copying the file:"), remote);
    TStorageFileSystem& remoteFs = storage_.For(remote);
    const TStorageEntry source = remoteFs.Stat(remote);
    if (!source.Exists || source.IsDirectory)
        throw TStorageError(ENOENT, job_.TranslateText(QStringLiteral("The file does not exist.")));
    TStorageFileSystem& localFs = storage_.For(local);
    RemoveReadOnly(localFs, local);
    CopyStorageFile(remoteFs, remote, localFs, local, Control());
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
        CopyStorageFile(fromFs, from, toFs, to, Control());
        fromFs.DeleteFile(from);
    }
}

void FileOperationRun::DeleteTemporaryCopy() {
    if (temporaryCopy_.isEmpty())
        return;
    try {
        TStorageFileSystem& fs = storage_.For(temporaryCopy_);
        const TStorageEntry entry = fs.Stat(temporaryCopy_);
        if (!entry.Exists)
            return;
        if (entry.ReadOnly)
            fs.SetAttributesNone(temporaryCopy_);
        fs.DeleteFile(temporaryCopy_);
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
                throw TStorageError(error, SystemErrorMessage(error));
            context = ownContext_.get();
        }
        smb_ = MakeSmbFileSystem(*context);
    }
    return *smb_;
}

TOperationResult TJob::FileOperation(TFileOperationType csOperationType, const QString& csstrLocal,
                                     const QString& csstrRemote, int RetryCount, bool LogError) {
    CancelCurrentFileOperation = 0;
    CurrentFileOperationType = csOperationType;
    CurrentFileOperationProgress = 0;
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
