#include "engine/restore_run.h"

#include "engine/backup_layout.h"
#include "engine/entry_metadata.h"
#include "engine/job_folder_owner.h"
#include "engine/list_file.h"
#include "engine/storage_names.h"
#include "formats/events_log.h"
#include "formats/file_image.h"
#include "i18n/translation.h"
#include "jobs/job_file.h"
#include "jobs/run_log.h"
#include "platform/file_metadata.h"
#include "platform/file_system.h"
#include "platform/local_files.h"
#include "platform/paths.h"
#include "platform/program_state.h"
#include "storage/file_operation.h"
#include "storage/storage_fs.h"
#include "storage/storage_helpers.h"

#include <QDir>
#include <QFile>

#include <chrono>
#include <thread>

namespace morvane {

namespace {

const QString RunSeparator(49, u'-');
const QString FolderSeparator(47, u'-');

QString WithoutLineBreaks(QString text) {
    return text.remove(u'\r').replace(u'\n', u' ');
}

void SaveJobUnlessClosing(TJob_FilesAndFolders& job) {
    if (!Program().ClosingRequested)
        job.SaveLocalJobFile(LocalJobFilePath(Program().ApplicationDirectory, job.stJobName));
}

// Sets the job's backup type from the stored type marker; an unknown marker leaves it.
void ApplyTypeMarker(TJob_FilesAndFolders& job, const QString& marker) {
    TypeOfMarker(marker, job.Settings.Backup.BackupType);
    job.NewSubfolderIsCreatedForEachBackup = job.Settings.Backup.BackupType != btSync;
}

// The restore ends before its run: the chooser was cancelled or the mirror is unfinished. No log file.
void EndCancelledBeforeRun(TJob_FilesAndFolders& job) {
    AddToRunLog(job, QStringLiteral("Restore is cancelled."));
    AddToEventsLog(
        FormatText(job.TranslateText(QStringLiteral("\"%s\" restore is cancelled.")), {job.stJobName}));
    job.AddEventtoBackupHistory(job.TranslateText(QStringLiteral("Restore is cancelled.")), false);
    job.LastJobResult.Cancelled = true;
    job.LastJobResult.EndTime = Now();
    SaveJobUnlessClosing(job);
    job.JobStatus = jsNone;
}

// Shows the points and asks for one; -1 (and the job cancelling) when none is chosen.
int ChooseRestorePoint(TJob_FilesAndFolders& job, TRestoreDialogs& dialogs, const QStringList& names,
                       QString& password) {
    QStringList shown;
    for (const QString& name : names)
        shown.append(ShownRestorePointName(name));
    AddToRunLog(job, QStringLiteral("Choosing the restore point."));
    const std::optional<int> chosen = dialogs.ChooseRestorePoint(shown);
    if (!chosen || *chosen < 0 || *chosen >= shown.size()) {
        job.JobStatus = jsCancelling;
        return -1;
    }
    AddToRunLog(job, QStringLiteral("Chosen restore point:"), shown[*chosen]);
    if (shown[*chosen].contains(u"(ZIP ,") || shown[*chosen].contains(u"(ZIPs ,"))
        password = dialogs.AskPassword(
            job.TranslateText(QStringLiteral("Enter the Password")),
            FormatText(job.TranslateText(QStringLiteral("Password for ZIP archives of backup %s:")),
                       {job.stJobName}));
    return *chosen;
}

// The four lists of one backup folder, in the order the restore applies them.
struct TRestoreLists {
    TListEntries FilesToDelete;   // "_rrf.qkl"
    TListEntries FoldersToDelete; // "_rrd.qkl"
    TListEntries FoldersToCreate; // "_rd.qkl"
    TListEntries FilesToCopy;     // "_rf.qkl"
};

// A stored link is a small file holding the link's target; one larger than the longest target a
// link can hold is damaged.
constexpr int64_t MaxLinkTargetBytes = 4096;

TListEntries OrdinaryEntries(const QStringList& paths) {
    TListEntries entries;
    entries.reserve(paths.size());
    for (const QString& path : paths)
        entries.append({path, false});
    return entries;
}

// The files of a mirror, as the storage copy of the job file lists them; links are marked in the
// parallel time list.
TListEntries MirrorFiles(const TBackupChainState& chain) {
    TListEntries entries = OrdinaryEntries(chain.PreviousLocalFilesList);
    const QStringList& times = chain.PreviousLocalFilesTimeList;
    for (qsizetype i = 0; i < entries.size() && i < times.size(); ++i)
        entries[i].SymbolicLink = times[i].startsWith(LinkTimePrefix);
    return entries;
}

// The target a stored link holds; false when the stored file cannot be a link (too long, empty, or
// holding a zero byte). Throws TStorageError when it cannot be read.
bool ReadStoredLink(TStorageFileSystem& fs, const QString& stored, QByteArray& target) {
    const std::unique_ptr<TStorageFile> file = fs.OpenForReading(stored);
    if (file->Size() > MaxLinkTargetBytes)
        return false;
    QByteArray text(MaxLinkTargetBytes + 1, Qt::Uninitialized);
    int64_t length = 0;
    while (length < text.size()) {
        const int64_t got = file->Read(text.data() + length, text.size() - length);
        if (got < 0)
            throw TStorageError(static_cast<int>(-got), CopyErrorText(static_cast<int>(-got)));
        if (got == 0)
            break;
        length += got;
    }
    file->Finish(0);
    target = text.left(length);
    return length > 0 && length <= MaxLinkTargetBytes && !target.contains('\0');
}

// One restore run on the worker thread: the chain of backup folders up to the chosen point is applied
// to the output folder in order. It works in a temporary folder of its own, so a backup of the job
// running beside it keeps its temporary files.
class TRestoreRun {
public:
    TRestoreRun(TJob_FilesAndFolders& job, const QString& outputPath, const TBackupChainState& chain)
        : job_(job), output_(outputPath), chain_(chain) {}

    void Run(int listInd);

private:
    QString T(const QString& english) const { return job_.TranslateText(english); }
    bool Cancelling() const { return job_.JobStatus == jsCancelling; }
    void Cancel() { job_.JobStatus = jsCancelling; }
    void WaitWhilePaused() const;

    void Start();
    bool Connect();
    void RestoreChain(int listInd);
    void RestoreChainUpTo(int listInd);
    void Finish();

    bool RestoreBackupFolder(const QString& folder, bool mirror);
    void ApplyLists(const QString& folder, const TRestoreLists& lists);
    bool LoadListFiles(const QString& folder, TRestoreLists& lists);
    // Keeps the entries that stay inside the folder they are joined to; each other one is refused with
    // an error line and never followed.
    TListEntries SafeEntries(const TListEntries& entries);
    // Looks at an entry of the output folder without following any link on its way. False, with an
    // error line, when a folder on the way is a symbolic link: nothing is ever written through one.
    bool LookAtOutput(const QString& entry, TLocalEntry& existing);
    // Removes a link standing where a file or folder is restored: it is replaced, never followed.
    // False, with an error line, when it cannot be removed.
    bool RemoveLinkInTheWay(const QString& path);
    void CreateFolders(const TListEntries& entries);
    void CopyFiles(const QString& folder, const TListEntries& entries);
    void RestoreLink(const QString& folder, const QString& entry);
    void DeleteFiles(const TListEntries& entries);
    void DeleteFolders(const TListEntries& entries);
    void FailUnexpectedly(const QString& reason);
    void CollectMetadata(const QString& folder, const TRestoreLists& lists);
    void ApplyMetadata();

    TJob_FilesAndFolders& job_;
    QString output_;
    QString jobFolder_;
    TBackupChainState chain_;
    TChainMetadata metadata_;
    std::unique_ptr<QTemporaryDir> tempFolder_;
    TDateTime start_ = 0;
};

void TRestoreRun::Run(int listInd) {
    Start();
    try {
        if (Connect()) {
            if (job_.Settings.Backup.BackupType != btSync)
                RestoreChain(listInd);
            else if (!RestoreBackupFolder(jobFolder_, true))
                Cancel();
            if (!Cancelling())
                ApplyMetadata();
        }
    } catch (const std::exception& error) {
        FailUnexpectedly(QString::fromUtf8(error.what()));
    } catch (...) {
        FailUnexpectedly(QString());
    }
    Finish();
}

void TRestoreRun::WaitWhilePaused() const {
    while (job_.JobStatus == jsPaused)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}

void TRestoreRun::Start() {
    start_ = UniqueRunStart(job_, Now());
    const QString starting =
        FormatText(T(QStringLiteral("Starting the \"%s\" restore to directory:")), {job_.stJobName}) + u' ' +
        output_;
    AddTranslatedToRunLog(job_, starting);
    AddToEventsLog(starting);
    job_.AddEventtoBackupHistory(T(QStringLiteral("Starting the restore to directory:")) + u' ' + output_,
                                 false);
    job_.LastJobResult.Log.append(RunSeparator);
    // A cancel or pause given before the worker started is kept.
    TJobStatus status = job_.JobStatus;
    while (status != jsCancelling && status != jsPaused &&
           !job_.JobStatus.compare_exchange_weak(status, jsRunning)) {
    }
    job_.JobOperation = joRestore;
    PrepareLogFolder(job_, true);
}

bool TRestoreRun::Connect() {
    const TConnectResult connection = job_.ConnectToStorage();
    jobFolder_ = connection.JobFolder;
    if (!connection.Connected)
        AddToEventsLog(connection.Error);
    if (!jobFolder_.isEmpty()) {
        if (const QString refusal = RefuseForeignJobFolder(job_, jobFolder_); !refusal.isEmpty()) {
            AddErrorToRunLog(job_, refusal);
            jobFolder_.clear();
        }
    }
    if (!jobFolder_.isEmpty()) {
        tempFolder_ = MakePrivateTempFolder(job_);
        if (!tempFolder_) {
            AddErrorToRunLog(job_, T(QStringLiteral("Unable to create the temporary folder in:")) + u' ' +
                                       job_.JobOptions.General.PathForTempFiles);
            jobFolder_.clear();
        }
    }
    if (jobFolder_.isEmpty())
        Cancel();
    return !jobFolder_.isEmpty();
}

void TRestoreRun::RestoreChain(int listInd) {
    const QStringList& points = chain_.MainBackupList;
    if (listInd < 0 || listInd >= points.size())
        return;
    if (EndsFullCopy(points[listInd])) {
        if (!IsSafeFolderName(points[listInd])) {
            AddErrorToRunLog(job_, T(QStringLiteral("The backup name leads outside the backup folder:")) +
                                       u' ' + points[listInd]);
            Cancel();
        } else if (!RestoreBackupFolder(JoinPath(jobFolder_, points[listInd]), false)) {
            Cancel();
        }
    } else if (EndsIncrementalCopy(points[listInd])) {
        RestoreChainUpTo(listInd);
    }
}

// An incremental point: its full point and every point after it, up to the chosen one.
void TRestoreRun::RestoreChainUpTo(int listInd) {
    const QStringList& points = chain_.MainBackupList;
    int full = listInd;
    while (full >= 0 && !EndsFullCopy(points[full]))
        --full;
    if (full < 0)
        return;
    for (int i = full; i <= listInd; ++i) {
        if (!IsSafeFolderName(points[i])) {
            AddErrorToRunLog(job_, T(QStringLiteral("The backup name leads outside the backup folder:")) +
                                       u' ' + points[i]);
            Cancel();
            return;
        }
    }
    for (int i = full; i <= listInd; ++i) {
        if (!RestoreBackupFolder(JoinPath(jobFolder_, points[i]), false)) {
            Cancel();
            return;
        }
    }
}

bool TRestoreRun::RestoreBackupFolder(const QString& folder, bool mirror) {
    bool result = true;
    try {
        WaitWhilePaused();
        AddToRunLog(job_, QStringLiteral("Restoring the directory:"), folder);
        TRestoreLists lists;
        if (mirror) {
            lists.FoldersToCreate = OrdinaryEntries(chain_.PreviousLocalDirsList);
            lists.FilesToCopy = MirrorFiles(chain_);
        } else if (!LoadListFiles(folder, lists)) {
            Cancel();
        }
        if (!Cancelling())
            ApplyLists(folder, lists);
        if (!Cancelling())
            CollectMetadata(folder, lists);
    } catch (const std::exception& error) {
        AddErrorToRunLog(job_, WithoutLineBreaks(QString::fromUtf8(error.what())));
        result = false;
    }
    job_.LastJobResult.Log.append(FolderSeparator);
    return result;
}

// Deletions come first: a file that became a folder of the same name, or the reverse, is deleted by
// one list and created by another, and nothing can be created over the old one.
void TRestoreRun::ApplyLists(const QString& folder, const TRestoreLists& lists) {
    DeleteFiles(SafeEntries(lists.FilesToDelete));
    if (!Cancelling())
        DeleteFolders(SafeEntries(lists.FoldersToDelete));
    if (Cancelling())
        return;
    CreateFolders(SafeEntries(lists.FoldersToCreate));
    CopyFiles(folder, SafeEntries(lists.FilesToCopy));
}

bool TRestoreRun::LoadListFiles(const QString& folder, TRestoreLists& lists) {
    const std::pair<QString, TListEntries*> files[] = {{CopiedFilesFile, &lists.FilesToCopy},
                                                       {CreatedDirsFile, &lists.FoldersToCreate},
                                                       {RemovedDirsFile, &lists.FoldersToDelete},
                                                       {RemovedFilesFile, &lists.FilesToDelete}};
    bool allCopied = true;
    for (const auto& [name, list] : files) {
        const QString local = JoinPath(tempFolder_->path(), name);
        if (job_.FileOperation(atCopyFromRemoteToLocalFile, local, JoinPath(folder, name), 0, true) ==
            orSuccess)
            *list = ReadListFile(local);
        else
            allCopied = false;
    }
    return allCopied;
}

TListEntries TRestoreRun::SafeEntries(const TListEntries& entries) {
    TListEntries safe;
    safe.reserve(entries.size());
    for (const TListEntry& entry : entries) {
        if (IsSafeRelativePath(entry.Path))
            safe.append(entry);
        else
            AddErrorToRunLog(job_,
                             T(QStringLiteral("The entry leads outside the output folder and is skipped:")) +
                                 u' ' + entry.Path);
    }
    return safe;
}

bool TRestoreRun::LookAtOutput(const QString& entry, TLocalEntry& existing) {
    // Other failures are left to the step itself, which reports them as it always has.
    if (LocalStatBelow(output_, entry, existing) != ELOOP)
        return true;
    AddErrorToRunLog(job_, T(QStringLiteral("The path passes through a symbolic link and is skipped:")) +
                               u' ' + JoinPath(output_, entry));
    return false;
}

void TRestoreRun::CreateFolders(const TListEntries& entries) {
    for (const TListEntry& entry : entries) {
        WaitWhilePaused();
        if (Cancelling())
            continue;
        const QString path = JoinPath(output_, entry.Path);
        TLocalEntry existing;
        if (!LookAtOutput(entry.Path, existing))
            continue;
        if (existing.SymbolicLink ? !RemoveLinkInTheWay(path) : existing.Exists)
            continue;
        AddToRunLog(job_, QStringLiteral("Creating the directory:"), path);
        if (const int error = LocalCreateDirectories(path); error != 0) {
            AddErrorToRunLog(job_, WithoutLineBreaks(SystemErrorMessage(error)) + u' ' + path);
            Cancel();
        }
    }
}

bool TRestoreRun::RemoveLinkInTheWay(const QString& path) {
    const int error = LocalDeleteFile(path);
    if (error != 0)
        AddErrorToRunLog(job_, WithoutLineBreaks(SystemErrorMessage(error)) + u' ' + path);
    return error == 0;
}

void TRestoreRun::CopyFiles(const QString& folder, const TListEntries& entries) {
    const int retries = job_.JobOptions.Processing.IfDestinationNotAvailable_Retry_Times;
    for (const TListEntry& entry : entries) {
        WaitWhilePaused();
        if (Cancelling())
            continue;
        const QString path = JoinPath(output_, entry.Path);
        TLocalEntry existing;
        if (!LookAtOutput(entry.Path, existing))
            continue;
        if (entry.SymbolicLink) {
            RestoreLink(folder, entry.Path);
            continue;
        }
        if (existing.SymbolicLink && !RemoveLinkInTheWay(path))
            continue;
        if (job_.FileOperation(atCopyFromRemoteToLocalFile, path, JoinPath(folder, entry.Path), retries,
                               true) != orSuccess)
            Cancel();
    }
}

void TRestoreRun::RestoreLink(const QString& folder, const QString& entry) {
    const QString stored = JoinPath(folder, entry);
    const QString path = JoinPath(output_, entry);
    AddToRunLog(job_, QStringLiteral("Copying the file:"), stored);
    QByteArray target;
    try {
        TStorageAccess storage(job_);
        if (!ReadStoredLink(storage.For(stored), stored, target)) {
            AddErrorToRunLog(job_, T(QStringLiteral("The stored symbolic link is damaged:")) + u' ' + stored);
            return;
        }
    } catch (const TStorageError& error) {
        AddErrorToRunLog(job_, WithoutLineBreaks(error.Text) + u' ' + stored);
        Cancel();
        return;
    }
    if (const int error = LocalCreateLink(target, path))
        AddErrorToRunLog(job_, WithoutLineBreaks(SystemErrorMessage(error)) + u' ' + path);
}

void TRestoreRun::DeleteFiles(const TListEntries& entries) {
    for (const TListEntry& entry : entries) {
        WaitWhilePaused();
        if (Cancelling())
            continue;
        const QString path = JoinPath(output_, entry.Path);
        TLocalEntry existing;
        if (!LookAtOutput(entry.Path, existing))
            continue;
        int error = 0;
        if (!existing.Exists)
            error = ENOENT;
        if (error == 0 && existing.ReadOnly) {
            AddToRunLog(job_, QStringLiteral("Removing the read-only attribute:"), path);
            error = LocalMakeWritable(path);
        }
        if (error == 0) {
            AddToRunLog(job_, QStringLiteral("Removing the file:"), path);
            error = LocalDeleteFile(path);
        }
        if (error != 0) {
            AddErrorToRunLog(job_, WithoutLineBreaks(SystemErrorMessage(error)) + u' ' + path);
            Cancel();
            return;
        }
    }
}

void TRestoreRun::DeleteFolders(const TListEntries& entries) {
    for (const TListEntry& entry : entries) {
        WaitWhilePaused();
        if (Cancelling())
            continue;
        const QString path = JoinPath(output_, entry.Path);
        TLocalEntry existing;
        if (!LookAtOutput(entry.Path, existing) || existing.SymbolicLink)
            continue; // a link there is no folder of the backup, and is never followed
        AddToRunLog(job_, QStringLiteral("Removing the directory:"), path);
        LocalRemoveEmptyDirectory(path);
        if (!DirectoryExists(path) && !FileExists(path))
            continue;
        bool removed = false;
        try {
            removed = ForceDeleteShell(path);
        } catch (const TStorageError&) {
            removed = false;
        }
        if (!removed) {
            Cancel();
            return;
        }
    }
}

// Reads the folder's metadata list, which backups of earlier versions do not have: then its entries keep
// what the copy gave them.
void TRestoreRun::CollectMetadata(const QString& folder, const TRestoreLists& lists) {
    for (const TListEntries* list :
         {&lists.FoldersToCreate, &lists.FilesToCopy, &lists.FilesToDelete, &lists.FoldersToDelete})
        metadata_.Forget(*list);
    const QString remote = JoinPath(folder, MetadataFile);
    bool present = false;
    try {
        present = TStorageAccess(job_).For(remote).Stat(remote).Exists;
    } catch (const TStorageError&) {
        present = true; // unknown: the copy below says what is wrong
    }
    if (!present)
        return;
    const QString local = JoinPath(tempFolder_->path(), MetadataFile);
    const int retries = job_.JobOptions.Processing.IfDestinationNotAvailable_Retry_Times;
    if (job_.FileOperation(atCopyFromRemoteToLocalFile, local, remote, retries, false) != orSuccess) {
        // The files are restored all the same, but not as they were: a restore that says it is fine
        // would hide that.
        AddErrorToRunLog(job_, T(QStringLiteral("Unable to read the permissions and times of the backup:")) +
                                   u' ' + remote);
        return;
    }
    if (metadata_.Add(ReadTextFileLines(local)) > 0)
        AddWarningToRunLog(job_, T(QStringLiteral("Unreadable lines of the permissions list are skipped:")) +
                                     u' ' + remote);
}

// After everything is written, so no later write changes a time set here; a failure is reported and the
// restore goes on, as the content is in place.
void TRestoreRun::ApplyMetadata() {
    const bool setOwner = RunningAsRoot();
    for (const TChainMetadata::TItem& item : metadata_.InApplyOrder()) {
        WaitWhilePaused();
        if (Cancelling())
            return;
        const int error = LocalApplyMetadata(output_, item.Path, item.Kind, item.Metadata, setOwner);
        if (error != 0)
            AddWarningToRunLog(
                job_, T(QStringLiteral("Unable to restore the permissions and times of:")) + u' ' +
                          WithoutLineBreaks(JoinPath(output_, QFile::decodeName(item.Path))) +
                          QStringLiteral(" (") + WithoutLineBreaks(SystemErrorMessage(error)) + u')');
    }
}

void TRestoreRun::FailUnexpectedly(const QString& reason) {
    QString text = T(QStringLiteral("The restore stopped on an unexpected error."));
    if (!reason.isEmpty())
        text += u' ' + WithoutLineBreaks(reason);
    AddErrorToRunLog(job_, text);
    Cancel();
}

void TRestoreRun::Finish() {
    job_.CurrentFileOperationProgress = 0;
    job_.CurrentFileOperationPath.Set(QStringView());
    const QString name = job_.stJobName;
    if (Cancelling()) {
        AddToRunLog(job_, QStringLiteral("Restore is cancelled."));
        job_.AddEventtoBackupHistory(T(QStringLiteral("Restore is cancelled.")), false);
        AddToEventsLog(FormatText(T(QStringLiteral("\"%s\" restore is cancelled.")), {name}));
        job_.LastJobResult.Cancelled = true;
    } else {
        QString finalText = TR_NOOP("Restore job \"%s\" is finished.");
        QString history = TR_NOOP("Restore job is finished.");
        if (job_.LastJobResult.ErrorsCount > 0) {
            finalText = TR_NOOP("Restore job \"%s\" is finished with errors.");
            history = TR_NOOP("Restore job is finished with errors.");
        } else if (job_.LastJobResult.WarningsCount > 0) {
            finalText = TR_NOOP("Restore job \"%s\" is finished with warnings.");
            history = TR_NOOP("Restore job is finished with warnings.");
        }
        finalText = FormatText(T(finalText), {name});
        AddTranslatedToRunLog(job_, finalText);
        AddToEventsLog(finalText);
        job_.AddEventtoBackupHistory(T(history), false);
    }
    AddToRunLog(job_, QStringLiteral("Removing the temporary files."));
    tempFolder_.reset();
    job_.DisconnectFromStorage();
    SaveRunLog(job_, start_);
}

} // namespace

QString ShownRestorePointName(const QString& storedName) {
    return QString(storedName).replace(u';', u':');
}

namespace {

// Copies the storage copy of the job file and the start flag from the job folder into `temp`; the
// error text to show, or empty. `flagFound` tells whether the start flag was there.
QString CopyChainFiles(TJob_FilesAndFolders& job, const QString& jobFolder, const QString& temp,
                       bool& flagFound) {
    if (const QString refusal = RefuseForeignJobFolder(job, jobFolder); !refusal.isEmpty())
        return refusal;
    AddToRunLog(job, QStringLiteral("Reading the list of restore points."));
    const bool copyFailed =
        job.FileOperation(atCopyFromRemoteToLocalFile, JoinPath(temp, job.stJobName + JobCopyExtension),
                          jobFolder + JobCopyExtension, 0, true) != orSuccess;
    flagFound = job.FileOperation(atCopyFromRemoteToLocalFile, JoinPath(temp, StartFlagFile),
                                  JoinPath(jobFolder, StartFlagFile), 0, false) == orSuccess;
    if (!copyFailed)
        return QString();
    // clang-format off
    const QString message = job.TranslateText(QStringLiteral("Unable to copy the job file \"%s\" from the backup directory."));
    // clang-format on
    return FormatText(message, {job.stJobName + JobCopyExtension});
}

} // namespace

QString ReadRestorePoints(TJob_FilesAndFolders& job, TRestorePoints& points) {
    points = TRestorePoints();
    // Never the job's own temporary folder: a backup of the job may be running and working in it.
    const std::unique_ptr<QTemporaryDir> temp = MakePrivateTempFolder(job);
    if (!temp)
        return job.TranslateText(QStringLiteral("Unable to create the temporary folder in:")) + u' ' +
               job.JobOptions.General.PathForTempFiles;
    const TConnectResult connection = job.ConnectToStorage();
    const QString& jobFolder = connection.JobFolder;
    if (!connection.Connected || jobFolder.isEmpty())
        return job.TranslateText(QStringLiteral("Unable to connect to the backup storage.")) +
               QStringLiteral("\r\n") + connection.Error;
    bool flagFound = false;
    const QString failure = CopyChainFiles(job, jobFolder, temp->path(), flagFound);
    job.DisconnectFromStorage();
    job.CurrentFileOperationType = atNone;
    job.CurrentFileOperationPath.Set(QStringView());
    if (!failure.isEmpty())
        return failure;
    TBackupChainState chain;
    try {
        job.LoadRemoteJobFile(JoinPath(temp->path(), job.stJobName + JobCopyExtension), false, chain);
    } catch (const std::exception& error) {
        AddErrorToRunLog(job, WithoutLineBreaks(QString::fromUtf8(error.what())));
        return job.TranslateText(QStringLiteral("Unable to open the job file from the backup storage."));
    }
    const bool runCompleted =
        flagFound && StartFlagShowsCompletedRun(
                         ReadTextFileLines(JoinPath(temp->path(), StartFlagFile)), chain.MainBackupList,
                         ReadLocalFileBytes(JoinPath(temp->path(), job.stJobName + JobCopyExtension)));
    if (!chain.MainBackupList.isEmpty())
        ApplyTypeMarker(job, chain.MainBackupList.takeFirst());
    points.UnfinishedMirror = flagFound && !runCompleted && job.Settings.Backup.BackupType == btSync;
    points.Names = chain.MainBackupList;
    points.Chain = std::move(chain);
    return QString();
}

std::optional<QString> BeginRestore(TJob_FilesAndFolders& job, TRestoreDialogs& dialogs) {
    job.JobStatus = jsRunning;
    job.JobOperation = joReadRestorePoints;
    job.CurrentFileOperationType = atNone;
    job.CurrentFileOperationPath.Set(QStringView());
    job.OptionsToJobOptions();
    const std::optional<QString> output =
        dialogs.ChooseOutputDirectory(job.TranslateText(QStringLiteral("Choose an output directory")));
    if (!output || output->isEmpty() || !DirectoryExists(*output)) {
        job.JobStatus = jsNone;
        return std::nullopt;
    }
    dialogs.ShowRestorePointsLoading();
    job.LastJobResult.Cancelled = false;
    job.LastJobResult.ErrorsCount = 0;
    job.LastJobResult.WarningsCount = 0;
    job.LastJobResult.Log.clear();
    return output;
}

void ContinueRestore(TJob_FilesAndFolders& job, TRestoreDialogs& dialogs, const QString& outputPath,
                     const QString& failure, TRestorePoints points) {
    dialogs.CloseRestorePoints();
    // Cancelled while the points were read (which may have failed for that reason): nothing to ask.
    if (job.JobStatus == jsCancelling) {
        EndCancelledBeforeRun(job);
        return;
    }
    if (!failure.isEmpty()) {
        job.JobStatus = jsNone;
        dialogs.ShowErrorMessage(failure);
        return;
    }
    QString password;
    int listInd = -1;
    if (points.UnfinishedMirror) {
        job.JobStatus = jsCancelling;
        // clang-format off
        const QString message = job.TranslateText(QStringLiteral("Last backup job was cancelled, so %s is not able to restore your files. Please copy the backup folder \"%s\" from the storage manually."));
        // clang-format on
        const QString text = FormatText(message, {QString::fromUtf16(ApplicationTitle), job.stJobName});
        AddErrorToRunLog(job, text);
        dialogs.ShowErrorMessage(text);
    } else if (job.Settings.Backup.BackupType != btSync) {
        listInd = ChooseRestorePoint(job, dialogs, points.Names, password);
    }
    if (job.JobStatus == jsCancelling) {
        EndCancelledBeforeRun(job);
        return;
    }
    job.StartWorker([&job, outputPath, password, listInd, chain = std::move(points.Chain)] {
        job.RestoreInThread(outputPath, password, listInd, chain);
    });
}

void TJob_FilesAndFolders::Restore(TRestoreDialogs& dialogs) {
    const std::optional<QString> output = BeginRestore(*this, dialogs);
    if (!output)
        return;
    TRestorePoints points;
    const QString failure = ReadRestorePoints(*this, points);
    ContinueRestore(*this, dialogs, *output, failure, std::move(points));
}

void TJob_FilesAndFolders::RestoreInThread(const QString& OutputPath, const QString& myZIPPassword,
                                           int ListInd, const TBackupChainState& Points) {
    Q_UNUSED(myZIPPassword); // asked for names this program never writes; nothing reads it
    TRestoreRun(*this, OutputPath, Points).Run(ListInd);
}

} // namespace morvane
