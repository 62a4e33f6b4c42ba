// The backup run of a files-and-folders job, and the removal of its backup from the storage.

#include "engine/backup_layout.h"
#include "engine/backup_working_set.h"
#include "engine/copy_ahead.h"
#include "engine/entry_metadata.h"
#include "engine/job_folder_owner.h"
#include "engine/list_file.h"
#include "engine/source_scanner.h"
#include "engine/storage_names.h"
#include "formats/events_log.h"
#include "formats/file_image.h"
#include "formats/text_file.h"
#include "i18n/translation.h"
#include "jobs/run_log.h"
#include "platform/file_metadata.h"
#include "platform/file_system.h"
#include "platform/local_files.h"
#include "platform/paths.h"
#include "storage/file_operation.h"
#include "storage/storage_connection.h"
#include "storage/storage_helpers.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace morvane {

namespace {

const QString SeparatorLine = QStringLiteral("-----------------------------");
// The list files of a run, in the order they are copied to the storage.
const QString ListFiles[] = {RemovedDirsFile, CopiedFilesFile, CreatedDirsFile, RemovedFilesFile};

class TBackupRun {
public:
    explicit TBackupRun(TJob_FilesAndFolders& job) : job_(job), scanner_(job, set_), storage_(job) {}
    void Run();

private:
    bool Cancelling() const { return job_.JobStatus == jsCancelling; }
    void Cancel() { job_.JobStatus = jsCancelling; }
    QString T(const QString& english) const { return job_.TranslateText(english); }
    void Line(const QString& english, const QString& path = QString()) { AddToRunLog(job_, english, path); }
    void Raw(const QString& text) { job_.LastJobResult.Log.append(text); }
    void Warning(const QString& text) { AddWarningToRunLog(job_, text); }
    TOperationResult Op(TFileOperationType type, const QString& local, const QString& remote, int retries,
                        bool logError) {
        return job_.FileOperation(type, local, remote, retries, logError);
    }
    int Retries() const { return job_.JobOptions.Processing.IfDestinationNotAvailable_Retry_Times; }
    // Stores one of the run's closing files; a storage that refuses it is waited for under the pause
    // policy, as it is for a source file, so a disk that fills up at the end does not cancel the run.
    bool Store(const QString& local, const QString& remote) {
        const auto store = [&] {
            return Op(atCopyFromLocalToRemoteFile, local, remote, Retries(), true) == orSuccess;
        };
        if (job_.JobOptions.Processing.IfDestinationNotAvailable_Then != 1)
            return store();
        return scanner_.RetryWhilePaused(store);
    }
    QString Stored(const QString& name) const { return JoinPath(jobFolder_, name); }
    QString TempFile(const QString& name) const { return JoinPath(tempFolder_, name); }

    void Prepare();
    void CancelWhenPresent(const QString& stored);
    void CheckStoredType();
    void CheckInterruptedRun();
    void RemovePrevious();
    void RemoveLeftovers();
    void RemoveOwnPartialFiles(TStorageFileSystem& fs, const QString& folder,
                               const QList<TStorageListEntry>& entries, const QStringList& ownNames);
    bool StampTakenOnStorage(const QString& stamp);
    // Whether something is at the path; `whenUnknown` when the storage cannot tell.
    bool StorageEntryExists(const QString& path, bool whenUnknown);
    void ChooseKindAndTarget();
    void SelectOldBackups();
    void PruneBeforeRun();
    bool UploadStorageCopy(const TBackupChainState& chain);
    void Prune(bool logErrors);
    bool Flush();
    void SayWhenNoCompleteBackupIsLeft();
    void CreateTargetAndStartFlag();
    void ScanSources();
    void ScanSource(const QString& entry);
    void Record();
    bool UploadMetadataList();
    void Close();
    void FailUnexpectedly(const QString& reason);

    TJob_FilesAndFolders& job_;
    TBackupWorkingSet set_;
    TSourceScanner scanner_;
    TStorageAccess storage_;
    TDateTime startTime_ = 0;
    QString jobFolder_;
    QString tempFolder_;
    QString subfolder_;
    QStringList mainBackupList_;
    QStringList oldBackupsList_;
    QStringList startFlagList_;
    int64_t sizeOfLastFullBackup_ = 0;
    int64_t sizeOfIncrements_ = 0;
    bool storageCopyFound_ = false;
    bool removePrevious_ = false;
    bool previousRunInterrupted_ = false;
    QString interruptedSubfolder_;
    TBackupType storedType_ = btSync;
    // The chain as the storage copy held it when it was read; a copy that could not be read stays empty.
    TBackupChainState storedChain_;
    bool storedChainRead_ = false;
    // Whether the storage copy on the storage names a full copy: at the start, and now.
    bool fullCopyAtStart_ = false;
    bool fullCopyStored_ = false;
};

bool NamesFullCopy(const QStringList& mainBackupList) {
    for (qsizetype t = 1; t < mainBackupList.size(); ++t)
        if (EndsFullCopy(mainBackupList[t]))
            return true;
    return false;
}

void TBackupRun::Run() {
    startTime_ = UniqueRunStart(job_, Now());
    jobFolder_ = OpenBackupRun(job_, startTime_);
    if (jobFolder_.isEmpty())
        return;
    try {
        // The folder of another installation's job of the same name is never written to.
        if (!ClaimJobFolder(job_, jobFolder_))
            Cancel();
        Prepare();
        if (!Cancelling())
            CheckStoredType();
        if (!Cancelling())
            CheckInterruptedRun();
        if (!Cancelling() && removePrevious_)
            RemovePrevious();
        if (!Cancelling()) {
            RemoveLeftovers();
            ChooseKindAndTarget();
            SelectOldBackups();
            if (job_.Settings.Backup.RemoveOldBackupsBeforeStartingNewBackup)
                PruneBeforeRun();
        }
        if (!Cancelling()) {
            CreateTargetAndStartFlag();
            ScanSources();
            if (!Cancelling())
                scanner_.CompareWithPreviousRun();
            Record();
        }
    } catch (const std::exception& error) {
        FailUnexpectedly(QString::fromUtf8(error.what()));
    }
    if (Cancelling())
        SayWhenNoCompleteBackupIsLeft();
    Close();
}

void TBackupRun::Prepare() {
    tempFolder_ = JobTempFolder(job_);
    job_.DeleteTempFiles();
    QDir().mkpath(tempFolder_);
    job_.CurrentBackupSize = 0;
    job_.CurrentBackupFilesProcessed = 0;
    if (Cancelling())
        return;
    if (!job_.JobOptions.Logging.DontLogCopyingInternalFiles) {
        Raw(SeparatorLine);
        Line(QStringLiteral("Copying database files."));
    }
    storageCopyFound_ = Op(atCopyFromRemoteToLocalFile, LocalJobCopy(job_), jobFolder_ + JobCopyExtension, 0,
                           false) == orSuccess;
    if (!storageCopyFound_)
        CancelWhenPresent(jobFolder_ + JobCopyExtension);
}

// A file of the job's that could not be read is taken for a missing one only when it is not there: a
// run that went on without the storage copy would record a chain without the earlier points.
void TBackupRun::CancelWhenPresent(const QString& stored) {
    try {
        const TStorageEntry entry = storage_.For(stored).Stat(stored);
        if (!entry.Exists || entry.IsDirectory)
            return;
    } catch (const TStorageError&) {
        // A storage that cannot tell is not taken for one without the file.
    }
    AddErrorToRunLog(job_, T(QStringLiteral("Unable to read the file:")) + u' ' + stored);
    Cancel();
}

void TBackupRun::CheckStoredType() {
    const QString localCopy = LocalJobCopy(job_);
    if (!storageCopyFound_ || !FileExists(localCopy))
        return;
    TBackupChainState chain;
    try {
        job_.LoadRemoteJobFile(localCopy, false, chain);
    } catch (const FileImageError&) {
        AddErrorToRunLog(job_, T(QStringLiteral("The job file on the storage is damaged:")) + u' ' +
                                   jobFolder_ + JobCopyExtension);
        Cancel();
        return;
    }
    storedChain_ = chain;
    storedChainRead_ = true;
    fullCopyAtStart_ = fullCopyStored_ = NamesFullCopy(chain.MainBackupList);
    mainBackupList_ = chain.MainBackupList;
    set_.PreviousLocalFilesList.Assign(chain.PreviousLocalFilesList);
    set_.PreviousLocalFilesTimeList = chain.PreviousLocalFilesTimeList;
    set_.PreviousLocalDirsList.Assign(chain.PreviousLocalDirsList);
    sizeOfLastFullBackup_ = chain.SizeOfLastFullBackup;
    sizeOfIncrements_ = chain.SizeOfAllIncrementsOrLastDifferentialCopy;
    storedType_ = btSync;
    if (!mainBackupList_.isEmpty())
        TypeOfMarker(mainBackupList_.first(), storedType_);
    if (job_.Settings.Backup.BackupType != storedType_) {
        Warning(T(QStringLiteral("Backup type has been changed in the settings.")) + u' ' +
                T(QStringLiteral("Going to remove existing backup before to run this job.")));
        removePrevious_ = true;
    }
}

void TBackupRun::CheckInterruptedRun() {
    const QString localFlag = TempFile(StartFlagFile);
    if (Op(atCopyFromRemoteToLocalFile, localFlag, Stored(StartFlagFile), 0, false) != orSuccess) {
        CancelWhenPresent(Stored(StartFlagFile));
        return;
    }
    startFlagList_ = ReadTextFileLines(localFlag);
    if (storedChainRead_ && StartFlagShowsCompletedRun(startFlagList_, storedChain_.MainBackupList,
                                                       ReadLocalFileBytes(LocalJobCopy(job_)))) {
        // The run that wrote the flag had recorded itself and stopped just before removing the flag.
        Op(atRemoveRemoteFile, QString(), Stored(StartFlagFile), 0, false);
        startFlagList_.clear();
        return;
    }
    Warning(
        T(QStringLiteral("The previous backup has been cancelled and the backup files may be corrupted.")));
    previousRunInterrupted_ = true;
    if (!startFlagList_.isEmpty())
        interruptedSubfolder_ = startFlagList_.first();
    if (!interruptedSubfolder_.isEmpty() && !IsSafeFolderName(interruptedSubfolder_)) {
        AddErrorToRunLog(
            job_, T(QStringLiteral("A name on the storage leads outside the backup folder and is refused:")) +
                      u' ' + interruptedSubfolder_);
        Cancel();
        return;
    }
    if (job_.JobOptions.Processing.RemovePreviousBackupIfCancelled ||
        job_.Settings.Backup.BackupType == btSync) {
        Raw(T(QStringLiteral("We have to remove the previous backup.")));
        removePrevious_ = true;
    } else {
        if (!interruptedSubfolder_.isEmpty())
            Op(atRenameRemoteFolder, Stored(interruptedSubfolder_ + QStringLiteral(" CANCELED")),
               Stored(interruptedSubfolder_), 0, true);
        Raw(QString());
    }
    startFlagList_.clear();
}

void TBackupRun::RemovePrevious() {
    if (!interruptedSubfolder_.isEmpty()) {
        if (Op(atRemoveRemoteNotEmptyFolder, QString(), Stored(interruptedSubfolder_), 0, true) != orSuccess)
            Cancel();
        Raw(QString());
        return;
    }
    // The storage copy goes before the folder it describes: a stop between the two must never leave a
    // storage copy that names deleted folders. A storage copy that is not there needs no removal.
    const QString storageCopy = jobFolder_ + JobCopyExtension;
    if (StorageEntryExists(storageCopy, true) &&
        Op(atRemoveRemoteFile, QString(), storageCopy, 0, true) != orSuccess) {
        Cancel();
    } else {
        storageCopyFound_ = false;
        storedChainRead_ = false;
        fullCopyStored_ = false;
        mainBackupList_.clear();
        set_.ClearLists();
        sizeOfLastFullBackup_ = 0;
        sizeOfIncrements_ = 0;
        if (Op(atRemoveRemoteNotEmptyFolder, QString(), jobFolder_, 0, true) != orSuccess)
            Cancel();
    }
    Raw(QString());
}

bool TBackupRun::StorageEntryExists(const QString& path, bool whenUnknown) {
    try {
        return storage_.For(path).Stat(path).Exists;
    } catch (const TStorageError&) {
        return whenUnknown;
    }
}

// Removes what a stopped run left on the storage that no list names: run folders of a prune that did not
// finish or of a run stopped before its flag was written, and the passing names of the job's own files.
void TBackupRun::RemoveLeftovers() {
    const qsizetype slash = std::max(jobFolder_.lastIndexOf(u'/'), jobFolder_.lastIndexOf(u'\\'));
    const QString destination = jobFolder_.left(std::max<qsizetype>(slash, 0));
    const QString storageCopyName = jobFolder_.mid(slash + 1) + JobCopyExtension;
    QList<TStorageListEntry> inJobFolder;
    QList<TStorageListEntry> inDestination;
    try {
        TStorageFileSystem& fs = storage_.For(jobFolder_);
        if (fs.Stat(jobFolder_).IsDirectory)
            inJobFolder = fs.List(jobFolder_);
        if (!destination.isEmpty())
            inDestination = fs.List(destination);
    } catch (const TStorageError&) {
        return; // nothing is removed from a storage that cannot be read; a later run tries again
    }
    // A mirror's job folder holds the user's folders, whatever their names; only a chain's folder holds
    // nothing but run folders. Without a storage copy that folder can only hold runs of a first chain that
    // stopped before writing their flag, but only when the listing shows the copy is really not there: one
    // that merely failed to download still names its points.
    const bool noStorageCopy =
        !storageCopyFound_ && !destination.isEmpty() &&
        std::none_of(inDestination.cbegin(), inDestination.cend(),
                     [&](const TStorageListEntry& e) { return e.Name == storageCopyName; });
    const bool chainFolder =
        storedChainRead_ ? storedType_ != btSync : noStorageCopy && job_.Settings.Backup.BackupType != btSync;
    QStringList unlisted;
    if (chainFolder)
        for (const TStorageListEntry& entry : std::as_const(inJobFolder))
            if (entry.IsDirectory && IsRunFolderName(entry.Name) && mainBackupList_.indexOf(entry.Name) < 1 &&
                entry.Name != interruptedSubfolder_)
                unlisted.append(entry.Name);
    if (!unlisted.isEmpty()) {
        Raw(SeparatorLine);
        Line(QStringLiteral("Removing what an interrupted run left on the storage."));
    }
    for (const QString& name : std::as_const(unlisted))
        Op(atRemoveRemoteNotEmptyFolder, QString(), Stored(name), 0, false);
    TStorageFileSystem& fs = storage_.For(jobFolder_);
    RemoveOwnPartialFiles(fs, jobFolder_, inJobFolder, {StartFlagFile});
    if (!destination.isEmpty())
        RemoveOwnPartialFiles(fs, destination, inDestination, {storageCopyName});
}

void TBackupRun::RemoveOwnPartialFiles(TStorageFileSystem& fs, const QString& folder,
                                       const QList<TStorageListEntry>& entries, const QStringList& ownNames) {
    for (const TStorageListEntry& entry : entries) {
        if (entry.IsDirectory)
            continue;
        for (const QString& own : ownNames)
            if (IsPartialFileName(entry.Name, own)) {
                try {
                    fs.DeleteFile(JoinPath(folder, entry.Name));
                } catch (const TStorageError&) {
                    // Left for a later run; the leftover harms nothing meanwhile.
                }
                break;
            }
    }
}

bool TBackupRun::StampTakenOnStorage(const QString& stamp) {
    for (const QString& marker : {FullMarker, IncrementalMarker}) {
        const QString name = stamp + QStringLiteral(" (") + marker;
        // A storage that cannot tell refuses the target folder next, which ends the run.
        if (mainBackupList_.contains(name) || StorageEntryExists(Stored(name), false) ||
            StorageEntryExists(Stored(name + QStringLiteral(" CANCELED")), false))
            return true;
    }
    return false;
}

void TBackupRun::ChooseKindAndTarget() {
    int incrementsSinceFull = -1;
    for (qsizetype t = mainBackupList_.size() - 1; t >= 1; --t)
        if (EndsFullCopy(mainBackupList_[t])) {
            incrementsSinceFull = int(mainBackupList_.size() - 1 - t);
            break;
        }
    const auto& backup = job_.Settings.Backup;
    if (backup.BackupType != btSync)
        startTime_ = UniqueRunStart(job_, startTime_,
                                    [this](const QString& taken) { return StampTakenOnStorage(taken); });
    const QString stamp = LogFileStamp(startTime_) + QStringLiteral(" (");
    set_.RunKind = backup.BackupType;
    if (backup.BackupType == btInc) {
        const int every = backup.PerformFullBackup_EveryCopies;
        if (incrementsSinceFull >= every && incrementsSinceFull >= 0)
            AddTranslatedToRunLog(
                job_, FormatText(T(QStringLiteral("The number of incremental copies (%s) has reached the "
                                                  "specified value (%s). We need to perform a full backup.")),
                                 {QString::number(incrementsSinceFull), QString::number(every)}));
        if (incrementsSinceFull == -1 || incrementsSinceFull >= every)
            set_.RunKind = btFull;
    }
    if (set_.RunKind == btFull) {
        subfolder_ = stamp + FullMarker;
        AddTranslatedToRunLog(job_, T(QStringLiteral("Target: full copy of the source. Subdirectory:")) +
                                        u' ' + subfolder_);
        job_.AddEventtoBackupHistory(T(QStringLiteral("Target: full copy of the source.")), true);
    } else if (set_.RunKind == btInc) {
        subfolder_ = stamp + IncrementalMarker;
        AddTranslatedToRunLog(job_,
                              T(QStringLiteral("Target: incremental copy of the source. Subdirectory:")) +
                                  u' ' + subfolder_);
        job_.AddEventtoBackupHistory(T(QStringLiteral("Target: incremental copy of the source.")), true);
    }
    set_.TargetFolder = subfolder_.isEmpty() ? jobFolder_ : Stored(subfolder_);
    if (mainBackupList_.isEmpty())
        mainBackupList_.append(MarkerOf(backup.BackupType));
    if (backup.BackupType != btSync) {
        mainBackupList_.append(subfolder_);
        startFlagList_.append(subfolder_);
    }
    if (set_.RunKind == btFull) {
        set_.PreviousLocalFilesList.Clear();
        set_.PreviousLocalFilesTimeList.clear();
        set_.PreviousLocalDirsList.Clear();
    }
}

void TBackupRun::SelectOldBackups() {
    const int keep = job_.Settings.Backup.NumberFullCopiesToKeep;
    if (job_.Settings.Backup.BackupType == btSync || keep <= 0)
        return;
    int kept = 0;
    for (qsizetype t = mainBackupList_.size() - 1; t >= 1; --t) {
        if (kept == keep) {
            oldBackupsList_.append(mainBackupList_[t]);
            mainBackupList_.removeAt(t);
        } else if (EndsFullCopy(mainBackupList_[t])) {
            ++kept;
        }
    }
}

// The storage copy first stops naming the old folders, so no reader ever lists a deleted one; a stop
// during the removal leaves unlisted folders, which the next run removes.
void TBackupRun::PruneBeforeRun() {
    if (oldBackupsList_.isEmpty())
        return;
    if (storedChainRead_) {
        TBackupChainState pruned = storedChain_;
        pruned.MainBackupList = mainBackupList_;
        pruned.MainBackupList.removeAll(subfolder_);
        if (!UploadStorageCopy(pruned)) {
            oldBackupsList_.clear();
            Cancel();
            return;
        }
    }
    Prune(!previousRunInterrupted_);
}

bool TBackupRun::UploadStorageCopy(const TBackupChainState& chain) {
    const QString localCopy = LocalJobCopy(job_);
    job_.SaveRemoteJobFile(localCopy, chain);
    if (Op(atCopyFromLocalToRemoteFile, localCopy, jobFolder_ + JobCopyExtension, Retries(), true) !=
        orSuccess)
        return false;
    fullCopyStored_ = NamesFullCopy(chain.MainBackupList);
    return true;
}

void TBackupRun::Prune(bool logErrors) {
    if (oldBackupsList_.isEmpty())
        return;
    Raw(SeparatorLine);
    Line(QStringLiteral("Removing the old backups."));
    for (const QString& name : std::as_const(oldBackupsList_)) {
        const bool safe = IsSafeFolderName(name);
        if (safe && Op(atRemoveRemoteNotEmptyFolder, QString(), Stored(name), Retries(), false) == orSuccess)
            continue;
        if (logErrors || !safe)
            AddErrorToRunLog(
                job_, T(QStringLiteral("Unable to remove the directory. Please remove it manually: ")) +
                          u' ' + Stored(name));
    }
    oldBackupsList_.clear();
}

void TBackupRun::CreateTargetAndStartFlag() {
    if (!storageCopyFound_) {
        Op(atCreateRemoteFolder, QString(), jobFolder_, 0, false);
        // A new folder, or one removed above and made again, gets its owner file at once.
        if (!ClaimJobFolder(job_, jobFolder_))
            Cancel();
    }
    if (set_.TargetFolder != jobFolder_ &&
        Op(atCreateRemoteFolder, QString(), set_.TargetFolder, 0, true) == orERROR_RemoteAccess) {
        set_.TargetFolder.clear();
        Cancel();
    }
    if (Cancelling())
        return;
    const QString localFlag = TempFile(StartFlagFile);
    if (!WriteTextFileLines(localFlag, startFlagList_) ||
        Op(atCopyFromLocalToRemoteFile, localFlag, Stored(StartFlagFile), Retries(), true) != orSuccess)
        Cancel();
}

// Lends a copy-ahead to the scanner and the job's file operations for the scan, and takes it back on
// every way out, before it stops and removes the copies nobody took.
class TCopyAheadLoan {
public:
    TCopyAheadLoan(TJob& job, TSourceScanner& scanner, TCopyAhead* copyAhead) : job_(job), scanner_(scanner) {
        job_.PreparedCopies = copyAhead;
        scanner_.CopyAheadWith(copyAhead);
    }
    ~TCopyAheadLoan() {
        job_.PreparedCopies = nullptr;
        scanner_.CopyAheadWith(nullptr);
    }
    TCopyAheadLoan(const TCopyAheadLoan&) = delete;
    TCopyAheadLoan& operator=(const TCopyAheadLoan&) = delete;

private:
    TJob& job_;
    TSourceScanner& scanner_;
};

std::unique_ptr<TCopyAhead> MakeCopyAhead(const TJob& job) {
    if (!TCopyAhead::Enabled() || IsNetworkPath(job.JobOptions.General.PathForTempFiles))
        return nullptr;
    return std::make_unique<TCopyAhead>(job.CopyAheadFolder(), TCopyAheadLimits{},
                                        job.JobOptions.Processing.DontUseBufferingForCopyOperations,
                                        TCopyAhead::EveryCopyWaitedFor());
}

void TBackupRun::ScanSources() {
    const std::unique_ptr<TCopyAhead> copyAhead = MakeCopyAhead(job_);
    const TCopyAheadLoan loan(job_, scanner_, copyAhead.get());
    for (const QString& entry : std::as_const(job_.Settings.Sources.List)) {
        if (Cancelling())
            return;
        ScanSource(entry);
    }
}

void TBackupRun::ScanSource(const QString& entry) {
    const QString folderMark = QString(PathSeparator) + u'*';
    if (entry.endsWith(folderMark)) {
        QString path = entry.chopped(2);
        if (path.isEmpty())
            path = PathSeparator;
        if (DirectoryExists(path)) {
            Raw(SeparatorLine);
            Line(QStringLiteral("Starting the directory backup:"), path);
            const QString name = path == QStringView(u"/") ? QString() : ExtractFileName(path);
            bool ok = true;
            if (!name.isEmpty() && !set_.PreviousLocalDirsList.Contains(name)) {
                ok = scanner_.EnsureFolderChain(name);
                if (ok)
                    set_.CreatedDirsList.append(name);
            }
            if (ok) {
                if (!name.isEmpty()) {
                    set_.AddLocalDir(name);
                    TFileMetadata metadata;
                    if (LocalReadMetadata(path, metadata) == 0)
                        set_.MetadataList.append(FormatMetadataLine(TMetadataTarget::Folder, metadata, name));
                }
                scanner_.ScanFolder(path, name);
            }
            return;
        }
    } else if (FileExists(entry)) {
        Raw(SeparatorLine);
        Line(QStringLiteral("Starting the file backup:"), entry);
        scanner_.ScanSingleFile(entry, ExtractFileName(entry));
        return;
    }
    Raw(SeparatorLine);
    Warning(T(QStringLiteral("The source does not exist:")) + u' ' + entry);
    // A source missing for a while (a disk not plugged in, say) keeps what the backup holds of it:
    // recorded as removed, its copies would leave a mirror.
    set_.KeepPreviousSource(ExtractFileName(entry.endsWith(folderMark) ? entry.chopped(2) : entry));
}

void TBackupRun::Record() {
    if (Cancelling())
        return;
    if (set_.RunKind == btInc) {
        sizeOfIncrements_ += job_.CurrentBackupSize;
    } else {
        sizeOfIncrements_ = 0;
        sizeOfLastFullBackup_ = job_.CurrentBackupSize;
    }
    TBackupChainState chain;
    chain.MainBackupList = mainBackupList_;
    chain.PreviousLocalDirsList = set_.LocalDirsList;
    chain.PreviousLocalFilesTimeList = set_.LocalFilesTimeList;
    chain.PreviousLocalFilesList = set_.LocalFilesList;
    chain.SizeOfLastFullBackup = sizeOfLastFullBackup_;
    chain.SizeOfAllIncrementsOrLastDifferentialCopy = sizeOfIncrements_;
    const QString localCopy = LocalJobCopy(job_);
    job_.SaveRemoteJobFile(localCopy, chain);

    const QStringList* lists[] = {&set_.RemovedDirsList, &set_.CopiedFilesList, &set_.CreatedDirsList,
                                  &set_.RemovedFilesList};
    const QSet<QString> noLinks;
    for (int i = 0; i < 4; ++i)
        if (!WriteListFile(TempFile(ListFiles[i]), *lists[i],
                           lists[i] == &set_.CopiedFilesList ? set_.CopiedLinks : noLinks)) {
            AddErrorToRunLog(job_,
                             T(QStringLiteral("Unable to write the file:")) + u' ' + TempFile(ListFiles[i]));
            Cancel();
            return;
        }
    if (job_.Settings.Backup.BackupType != btSync) {
        if (!job_.JobOptions.Logging.DontLogCopyingInternalFiles) {
            Raw(SeparatorLine);
            Line(QStringLiteral("Copying the database files."));
        }
        for (const QString& list : ListFiles)
            if (!Store(TempFile(list), JoinPath(set_.TargetFolder, list))) {
                Cancel();
                return;
            }
    }
    if (!UploadMetadataList()) {
        Cancel();
        return;
    }
    if (!Flush())
        return;
    if (set_.RunKind == btSync) {
        // A mirror has no folder for the storage copy to name; its flag carries the commit instead.
        const QString localFlag = TempFile(StartFlagFile);
        if (!WriteTextFileLines(localFlag, MirrorCommitFlag(ReadLocalFileBytes(localCopy))) ||
            !Store(localFlag, Stored(StartFlagFile))) {
            Cancel();
            return;
        }
    }
    if (!Store(localCopy, jobFolder_ + JobCopyExtension)) {
        Cancel();
        return;
    }
    fullCopyStored_ = NamesFullCopy(mainBackupList_);
    if (!Flush())
        return;
    Op(atRemoveRemoteFile, QString(), Stored(StartFlagFile), 0, false);
    if (!job_.Settings.Backup.RemoveOldBackupsBeforeStartingNewBackup)
        Prune(true);
}

// Makes what the run wrote durable before anything names it or success is said.
bool TBackupRun::Flush() {
    try {
        storage_.For(jobFolder_).Flush(jobFolder_);
        return true;
    } catch (const TStorageError& error) {
        AddErrorToRunLog(job_, error.Text + u' ' + jobFolder_);
        Cancel();
        return false;
    }
}

void TBackupRun::SayWhenNoCompleteBackupIsLeft() {
    if (!fullCopyAtStart_ || fullCopyStored_)
        return;
    // clang-format off
    const QString text = FormatText(T(QStringLiteral("No complete backup of the job \"%s\" is left on the storage. Run the backup again to make one.")), {job_.stJobName});
    // clang-format on
    AddErrorToRunLog(job_, text);
    AddToEventsLog(text);
}

// The permissions, owners and times of what this point holds go beside its lists (a mirror's beside the
// mirror), before the job copy names the point complete.
bool TBackupRun::UploadMetadataList() {
    const QString local = TempFile(MetadataFile);
    if (!WriteTextFileLines(local, set_.MetadataList)) {
        AddErrorToRunLog(job_, T(QStringLiteral("Unable to write the file:")) + u' ' + local);
        return false;
    }
    return Store(local, JoinPath(set_.TargetFolder, MetadataFile));
}

void TBackupRun::FailUnexpectedly(const QString& reason) {
    AddErrorToRunLog(job_, T(QStringLiteral("The backup stopped on an unexpected error:")) + u' ' + reason);
    Cancel();
}

void TBackupRun::Close() {
    job_.CurrentFileOperationProgress = 0;
    job_.CurrentFileOperationPath.Set(QStringView());
    Raw(SeparatorLine);
    QString finalText;
    if (Cancelling()) {
        finalText = T(QStringLiteral("Backup is cancelled."));
        AddToEventsLog(FormatText(T(QStringLiteral("\"%s\" backup is cancelled.")), {job_.stJobName}));
        job_.AddEventtoBackupHistory(finalText, false);
        job_.LastJobResult.Cancelled = true;
    } else {
        const int64_t files = job_.CurrentBackupFilesProcessed;
        const QString sizePart = files > 0 ? u' ' + T(QStringLiteral("Total size of the files:")) + u' ' +
                                                 SizeText(job_.CurrentBackupSize)
                                           : QString();
        QString message = TR_NOOP("Backup job \"%s\" is finished. Files copied: %s.");
        QString history = TR_NOOP("Backup job is finished.");
        if (job_.LastJobResult.ErrorsCount > 0) {
            message = TR_NOOP("Backup job \"%s\" is finished with errors. Files copied: %s.");
            history = TR_NOOP("Backup job is finished with errors.");
        } else if (job_.LastJobResult.WarningsCount > 0) {
            message = TR_NOOP("Backup job \"%s\" is finished with warnings. Files copied: %s.");
            history = TR_NOOP("Backup job is finished with warnings.");
        }
        finalText = FormatText(T(message) + sizePart, {job_.stJobName, QString::number(files)});
        AddToEventsLog(finalText);
        job_.AddEventtoBackupHistory(T(history), false);
    }
    AddTranslatedToRunLog(job_, finalText);
    Line(QStringLiteral("Removing the temporary files."));
    job_.DeleteTempFiles();
    job_.DisconnectFromStorage();
    SaveRunLog(job_, startTime_);
}

} // namespace

void TJob_FilesAndFolders::Backup() {
    BeginBackup();
    StartWorker([this] { BackupInThread(); });
}

void TJob_FilesAndFolders::BackupInThread() {
    try {
        TBackupRun(*this).Run();
    } catch (const std::exception& error) {
        // Even a failure outside every step must leave the job idle with its log kept.
        AddErrorToRunLog(*this, TranslateText(QStringLiteral("The backup stopped on an unexpected error:")) +
                                    u' ' + QString::fromUtf8(error.what()));
        LastJobResult.Cancelled = true;
        SaveRunLog(*this, UniqueRunStart(*this, LastJobResult.StartTime));
    }
}

bool TJob_FilesAndFolders::Remove() {
    OptionsToJobOptions();
    JobOperation = joRemove;
    const TConnectResult connection = ConnectToStorage();
    if (!connection.Connected) {
        AddToEventsLog(connection.Error);
        return false;
    }
    const QString& jobFolder = connection.JobFolder;
    if (jobFolder.isEmpty())
        return false;
    if (const QString refusal = RefuseForeignJobFolder(*this, jobFolder); !refusal.isEmpty()) {
        AddToEventsLog(TranslateText(QStringLiteral("ERROR:")) + u' ' + refusal);
        DisconnectFromStorage();
        return false;
    }
    const bool removed =
        FileOperation(atRemoveRemoteFile, QString(), jobFolder + JobCopyExtension, 0, true) == orSuccess &&
        FileOperation(atRemoveRemoteNotEmptyFolder, QString(), jobFolder, 0, true) == orSuccess;
    DisconnectFromStorage();
    return removed;
}

} // namespace morvane
