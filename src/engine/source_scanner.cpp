#include "engine/source_scanner.h"

#include "engine/copy_ahead.h"
#include "engine/entry_metadata.h"
#include "engine/list_file.h"
#include "i18n/translation.h"
#include "jobs/run_log.h"
#include "platform/directory_reader.h"
#include "platform/local_files.h"
#include "platform/paths.h"
#include "storage/storage_helpers.h"

#include <QFile>

#include <chrono>
#include <ctime>
#include <thread>

namespace morvane {

namespace {

// Names of operating-system files that are never taken from a folder source.
const QSet<QString> SkippedFileNames = {
    QStringLiteral("dumpstack.log.tmp"), QStringLiteral("pagefile.sys"), QStringLiteral("swapfile.sys"),
    QStringLiteral("ntuser.dat"),        QStringLiteral("hiberfil.sys"), QStringLiteral("ntuser.dat.log1"),
    QStringLiteral("ntuser.dat.log2"),
};

const QString AnyPathPrefix = QStringLiteral("%anypath%") + PathSeparator;

// How many entries of a folder are read before their turn while copying ahead: enough to keep the
// copies ahead busy, few enough that a changing folder is read about when it is scanned.
constexpr std::size_t CopyAheadWindow = 128;

QString WithSeparator(const QString& path) {
    return path.isEmpty() || path.endsWith(PathSeparator) ? path : path + PathSeparator;
}

QString WithoutTrailingSeparator(QString path) {
    while (path.size() > 1 && path.endsWith(PathSeparator))
        path.chop(1);
    return path;
}

// Adds `step` to the count of a previous entry; the counts take the size of the previous list, which
// stays fixed while a scan runs.
void CountFound(std::vector<int32_t>& counts, qsizetype listSize, qsizetype index, int32_t step) {
    if (index < 0)
        return;
    if (counts.size() != static_cast<std::size_t>(listSize))
        counts.assign(static_cast<std::size_t>(listSize), 0);
    counts[static_cast<std::size_t>(index)] += step;
}

TFileMetadata MetadataOf(const TDirectoryEntry& entry) {
    return {entry.Mode, entry.Owner, entry.Group, entry.LastWrite};
}

bool WasFound(const std::vector<int32_t>& counts, qsizetype index) {
    return index >= 0 && static_cast<std::size_t>(index) < counts.size() &&
           counts[static_cast<std::size_t>(index)] > 0;
}

} // namespace

qsizetype TBackupWorkingSet::AddLocalFile(const QString& relPath, const QString& time) {
    LocalFilesList.append(relPath);
    LocalFilesTimeList.append(time);
    const qsizetype previous = PreviousLocalFilesList.IndexOf(relPath, lastPreviousFile_ + 1);
    CountFound(previousFilesFound_, PreviousLocalFilesList.Size(), previous, 1);
    if (previous >= 0)
        lastPreviousFile_ = previous;
    return previous;
}

void TBackupWorkingSet::RemoveLastLocalFile() {
    if (LocalFilesList.isEmpty())
        return;
    CountFound(previousFilesFound_, PreviousLocalFilesList.Size(),
               PreviousLocalFilesList.IndexOf(LocalFilesList.last()), -1);
    LocalFilesList.removeLast();
    LocalFilesTimeList.removeLast();
}

bool TBackupWorkingSet::AddLocalDir(const QString& relPath) {
    LocalDirsList.append(relPath);
    const qsizetype previous = PreviousLocalDirsList.IndexOf(relPath);
    CountFound(previousDirsFound_, PreviousLocalDirsList.Size(), previous, 1);
    return previous >= 0;
}

bool TBackupWorkingSet::FoundPreviousFile(qsizetype index) const {
    return WasFound(previousFilesFound_,
                    PreviousLocalFilesList.IndexOf(PreviousLocalFilesList.At(index), index));
}

bool TBackupWorkingSet::FoundPreviousDir(qsizetype index) const {
    return WasFound(previousDirsFound_,
                    PreviousLocalDirsList.IndexOf(PreviousLocalDirsList.At(index), index));
}

void TBackupWorkingSet::KeepPreviousEntriesUnder(const QString& relFolder) {
    const QString prefix = WithSeparator(relFolder);
    const QStringList& files = PreviousLocalFilesList.Items();
    for (qsizetype i = 0; i < files.size(); ++i)
        if (files[i].startsWith(prefix) && i < PreviousLocalFilesTimeList.size())
            AddLocalFile(files[i], PreviousLocalFilesTimeList[i]);
    for (const QString& folder : PreviousLocalDirsList.Items())
        if (folder.startsWith(prefix))
            AddLocalDir(folder);
}

void TBackupWorkingSet::KeepPreviousSource(const QString& name) {
    if (name.isEmpty())
        return;
    const qsizetype file = PreviousLocalFilesList.IndexOf(name);
    if (file >= 0 && file < PreviousLocalFilesTimeList.size())
        AddLocalFile(name, PreviousLocalFilesTimeList[file]);
    if (PreviousLocalDirsList.Contains(name))
        AddLocalDir(name);
    KeepPreviousEntriesUnder(name);
}

void TBackupWorkingSet::ClearLists() {
    PreviousLocalFilesList.Clear();
    PreviousLocalFilesTimeList.clear();
    PreviousLocalDirsList.Clear();
    LocalFilesList.clear();
    LocalFilesTimeList.clear();
    LocalDirsList.clear();
    CopiedFilesList.clear();
    CopiedLinks.clear();
    CreatedDirsList.clear();
    RemovedFilesList.clear();
    RemovedDirsList.clear();
    MetadataList.clear();
    previousFilesFound_.clear();
    previousDirsFound_.clear();
    lastPreviousFile_ = -1;
}

TSourceScanner::TSourceScanner(TJob_FilesAndFolders& job, TBackupWorkingSet& set)
    : job_(job), set_(set), retries_(job.JobOptions.Processing.IfDestinationNotAvailable_Retry_Times),
      tempFolder_(WithoutTrailingSeparator(job.JobOptions.General.PathForTempFiles).toLower()),
      extensions_(u';' + job.Settings.Sources.Extensions + u';') {
    for (const QString& entry : job.JobOptions.ExcludedDirs)
        excludedDirs_.insert(entry);
    // The stamp text of a known moment shows which time separator the user's locale writes.
    const QString sample = FileTimeStampText(0);
    timeSeparator_ = sample.size() > 13 ? sample[13] : QChar(u':');
}

bool TSourceScanner::WaitingPoint() {
    while (job_.JobStatus == jsPaused)
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    return job_.JobStatus != jsCancelling;
}

bool TSourceScanner::ApplyDestinationPolicy() {
    TJobStatus running = jsRunning;
    if (job_.JobOptions.Processing.IfDestinationNotAvailable_Then == 1 &&
        job_.JobStatus.compare_exchange_strong(running, jsPaused)) {
        job_.CurrentFileOperationType = atNone_WaitingForReconnection;
        return true;
    }
    if (job_.JobStatus == jsPaused) // paused by the user meanwhile: wait for the resume as well
        return true;
    if (job_.JobStatus != jsCancelling) {
        job_.LastJobResult.Log.append(QString());
        const QString crlf = QStringLiteral("\r\n");
        AddWarningToRunLog(
            job_,
            job_.TranslateText(
                QStringLiteral("The job will be cancelled because destination is not accepting the file.")) +
                crlf +
                job_.TranslateText(
                    QStringLiteral("Possible reasons: device is disconnected; device is corrupted; network "
                                   "issues; transfer is blocked by antivirus.")) +
                crlf +
                job_.TranslateText(QStringLiteral("If you do not want to cancel the job next time, please "
                                                  "open the General Options, the tab \"Backup\".")) +
                crlf +
                job_.TranslateText(
                    QStringLiteral("Select the option \"Pause the job and wait for your action\".")));
    }
    job_.JobStatus = jsCancelling;
    return false;
}

template <typename Step> bool TSourceScanner::RepeatWhilePaused(Step step) {
    for (;;) {
        if (!WaitingPoint())
            return false;
        if (step())
            return true;
        if (!ApplyDestinationPolicy())
            return false;
    }
}

bool TSourceScanner::RetryWhilePaused(const std::function<bool()>& step) {
    return RepeatWhilePaused(step);
}

QString TSourceScanner::TargetPath(const QString& relPath) const {
    return JoinPath(set_.TargetFolder, relPath);
}

bool TSourceScanner::EnsureFolderChain(const QString& rel) {
    const QString path = WithoutTrailingSeparator(rel);
    if (path.isEmpty() || path == QStringView(u"/"))
        return true;
    qsizetype end = 0;
    while (end >= 0) {
        end = path.indexOf(PathSeparator, end + 1);
        const QString prefix = end < 0 ? path : path.left(end);
        if (set_.CreatedFoldersCache.contains(prefix))
            continue;
        if (job_.FileOperation(atCreateRemoteFolder, QString(), TargetPath(prefix), retries_, true) !=
            orSuccess)
            return false;
        set_.CreatedFoldersCache.insert(prefix);
    }
    return true;
}

void TSourceScanner::ForgetFolderChain(const QString& rel) {
    const QString path = WithoutTrailingSeparator(rel);
    for (qsizetype end = path.size(); end > 0; end = path.lastIndexOf(PathSeparator, end - 1))
        set_.CreatedFoldersCache.remove(path.left(end));
}

void TSourceScanner::ScanFolder(const QString& dir, const QString& rel) {
    if (!WaitingPoint())
        return;
    TDirectoryReader reader(dir);
    if (reader.Error() != 0)
        return KeepUnreadableFolder(dir, rel, reader.Error());
    ScanOpenFolder(reader, WithSeparator(dir), WithSeparator(rel));
}

// A folder that cannot be listed is not an empty one: what the backup holds for it stays as it was.
void TSourceScanner::KeepUnreadableFolder(const QString& dir, const QString& rel, int error) {
    AddErrorToRunLog(job_, job_.TranslateText(QStringLiteral("Unable to read the directory:")) + u' ' +
                               WithoutTrailingSeparator(dir) + QStringLiteral(" (") +
                               SystemErrorMessage(error) + u')');
    set_.KeepPreviousEntriesUnder(WithoutTrailingSeparator(rel));
}

void TSourceScanner::ScanOpenFolder(TDirectoryReader& reader, const QString& dir, const QString& rel) {
    std::deque<TListedEntry> ahead;
    bool more = true;
    while (WaitingPoint()) {
        more = more && ReadAhead(reader, ahead, dir, rel);
        if (ahead.empty())
            return;
        const TListedEntry listed = std::move(ahead.front());
        ahead.pop_front();
        ScanListedEntry(reader, listed, dir, rel);
    }
}

bool TSourceScanner::ReadAhead(TDirectoryReader& reader, std::deque<TListedEntry>& ahead, const QString& dir,
                               const QString& rel) {
    const std::size_t window = copyAhead_ ? CopyAheadWindow : 1;
    while (ahead.size() < window) {
        if (!ahead.empty() && ahead.back().Entry.EntryType == TDirectoryEntry::Type::Directory)
            return true;
        TListedEntry listed;
        if (!reader.Next(listed.Entry, listed.RawName))
            return false;
        const TDirectoryEntry::Type type = listed.Entry.EntryType;
        if (type == TDirectoryEntry::Type::File || type == TDirectoryEntry::Type::Link)
            listed.Time = EntryTimeText(listed.Entry);
        OfferWhenChanged(listed, dir, rel);
        ahead.push_back(std::move(listed));
    }
    return true;
}

// A guess from the last run's list: a wrong one costs a copy made for nothing, or one not made ahead.
void TSourceScanner::OfferWhenChanged(const TListedEntry& listed, const QString& dir, const QString& rel) {
    if (!copyAhead_ || listed.Time.isEmpty() || !IsRecordedFile(listed.Entry))
        return;
    const qsizetype previous = set_.PreviousLocalFilesList.IndexOf(rel + listed.Entry.Name);
    if (previous >= 0 && previous < set_.PreviousLocalFilesTimeList.size() &&
        set_.PreviousLocalFilesTimeList[previous] == listed.Time)
        return;
    copyAhead_->Offer(dir + listed.Entry.Name, listed.Entry.Size);
}

void TSourceScanner::ScanListedEntry(TDirectoryReader& reader, const TListedEntry& listed, const QString& dir,
                                     const QString& rel) {
    const TDirectoryEntry& entry = listed.Entry;
    const bool skipHiddenSystem = job_.JobOptions.Processing.SkipHiddenSystemFiles;
    if (entry.EntryType == TDirectoryEntry::Type::Other) {
        // Pipes, sockets and devices are never opened: reading one could block or never end.
        if (!skipHiddenSystem)
            AddWarningToRunLog(
                job_, job_.TranslateText(QStringLiteral("Skipped, not a regular file, folder or link:")) +
                          u' ' + dir + entry.Name);
        return;
    }
    if (skipHiddenSystem && entry.Hidden)
        return;
    if (entry.EntryType == TDirectoryEntry::Type::Directory)
        ScanFolderEntry(reader, entry, listed.RawName, dir, rel);
    else
        ScanFileEntry(entry, listed.Time, dir, rel);
}

bool TSourceScanner::IsExcludedFolder(const QString& path, const QString& name) const {
    const QString lowerPath = path.toLower();
    return excludedDirs_.contains(lowerPath) || excludedDirs_.contains(AnyPathPrefix + name.toLower()) ||
           lowerPath == tempFolder_;
}

bool TSourceScanner::CreateNewFolder(const QString& relPath) {
    return RepeatWhilePaused([&] {
        if (set_.RunKind == btInc)
            return EnsureFolderChain(relPath);
        return job_.FileOperation(atCreateRemoteFolder, QString(), TargetPath(relPath), retries_, true) ==
               orSuccess;
    });
}

void TSourceScanner::ScanFolderEntry(TDirectoryReader& reader, const TDirectoryEntry& entry,
                                     const QByteArray& rawName, const QString& dir, const QString& rel) {
    if (!reader.StillExists()) {
        AddWarningToRunLog(job_,
                           job_.TranslateText(QStringLiteral("The directory does not exist:")) + u' ' + dir);
        return;
    }
    const QString path = dir + entry.Name;
    if (IsExcludedFolder(path, entry.Name))
        return;
    const QString relPath = rel + entry.Name;
    if (!set_.AddLocalDir(relPath)) {
        if (!ClearReplacedOnMirror(relPath, false) || !CreateNewFolder(relPath))
            return;
        set_.CreatedDirsList.append(relPath);
    }
    set_.MetadataList.append(FormatMetadataLine(TMetadataTarget::Folder, MetadataOf(entry), relPath));
    if (!WaitingPoint())
        return;
    TDirectoryReader child(reader, rawName);
    if (child.Error() != 0)
        return KeepUnreadableFolder(path, relPath, child.Error());
    ScanOpenFolder(child, WithSeparator(path), WithSeparator(relPath));
}

// A mirror holds what the last run found. When a file took the place of a folder of the same name, or a
// folder the place of a file, the old one goes first: nothing can be created over it.
bool TSourceScanner::ClearReplacedOnMirror(const QString& relPath, bool wasFolder) {
    if (set_.RunKind != btSync)
        return true;
    const bool replaced = wasFolder ? set_.PreviousLocalDirsList.Contains(relPath)
                                    : set_.PreviousLocalFilesList.Contains(relPath);
    if (!replaced)
        return true;
    const TFileOperationType removal = wasFolder ? atRemoveRemoteNotEmptyFolder : atRemoveRemoteFile;
    if (!RepeatWhilePaused([&] {
            return job_.FileOperation(removal, QString(), TargetPath(relPath), retries_, true) == orSuccess;
        }))
        return false;
    replacedOnMirror_.insert(relPath);
    return true;
}

// Whether the entry, or a folder above it, was replaced during the scan (and so already removed).
bool TSourceScanner::WasReplacedOnMirror(const QString& relPath) const {
    if (replacedOnMirror_.isEmpty())
        return false;
    for (qsizetype end = relPath.size(); end > 0; end = relPath.lastIndexOf(PathSeparator, end - 1))
        if (replacedOnMirror_.contains(relPath.left(end)))
            return true;
    return false;
}

bool TSourceScanner::PassesExtensionFilter(const QString& name) const {
    const TFilterType filter = job_.Settings.Sources.FilterType;
    if (filter == ftNoFilters)
        return true;
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString ext = dot < 0 ? QString() : name.mid(dot + 1).toLower();
    const bool listed = extensions_.contains(u';' + ext + u';');
    return filter == ftIncludeOnly ? listed : !listed;
}

QString TSourceScanner::TimeText(const timespec& moment) const {
    std::tm local{};
    ::localtime_r(&moment.tv_sec, &local);
    // Written digit by digit: this runs once for every file of every run.
    char16_t text[23];
    const auto put = [&text](int at, int value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            text[at + i] = static_cast<char16_t>(u'0' + value % 10);
    };
    const char16_t separator = timeSeparator_.unicode();
    const int year = local.tm_year + 1900;
    put(0, year >= 0 && year <= 9999 ? year : 0, 4);
    text[4] = u'-';
    put(5, local.tm_mon + 1, 2);
    text[7] = u'-';
    put(8, local.tm_mday, 2);
    text[10] = u' ';
    put(11, local.tm_hour, 2);
    text[13] = separator;
    put(14, local.tm_min, 2);
    text[16] = separator;
    put(17, local.tm_sec, 2);
    text[19] = separator;
    put(20, static_cast<int>(moment.tv_nsec / 1'000'000), 3);
    if (year < 0 || year > 9999)
        return QString::number(year).rightJustified(4, u'0') + QStringView(text + 4, 19);
    return QString(reinterpret_cast<const QChar*>(text), 23);
}

bool TSourceScanner::IsRecordedFile(const TDirectoryEntry& entry) const {
    if (job_.JobOptions.Processing.SkipHiddenSystemFiles && entry.Hidden)
        return false;
    return PassesExtensionFilter(entry.Name) && !SkippedFileNames.contains(entry.Name.toLower());
}

void TSourceScanner::ScanFileEntry(const TDirectoryEntry& entry, const QString& time, const QString& dir,
                                   const QString& rel) {
    const QString path = dir + entry.Name;
    if (entry.EntryType == TDirectoryEntry::Type::Missing) {
        AddWarningToRunLog(job_,
                           job_.TranslateText(QStringLiteral("The file does not exist:")) + u' ' + path);
        return;
    }
    if (!IsRecordedFile(entry))
        return;
    RecordAndCopy(path, rel + entry.Name, rel, time, MetadataOf(entry), set_.RunKind == btInc,
                  entry.EntryType == TDirectoryEntry::Type::Link);
}

QString TSourceScanner::EntryTimeText(const TDirectoryEntry& entry) const {
    // A link's time differs from every file's, so a link replaced by a file (or the reverse) is a change.
    if (entry.EntryType == TDirectoryEntry::Type::Link)
        return LinkTimePrefix + TimeText(entry.Changed);
    return TimeText(entry.Changed);
}

bool TSourceScanner::RecordAndCopy(const QString& localPath, const QString& relPath, const QString& folderRel,
                                   const QString& time, const TFileMetadata& metadata, bool ensureChain,
                                   bool link) {
    const qsizetype previous = set_.AddLocalFile(relPath, time);
    // A mirror's list describes every file it holds; a backup folder's only the files it holds.
    const auto recordMetadata = [&] {
        set_.MetadataList.append(
            FormatMetadataLine(link ? TMetadataTarget::Link : TMetadataTarget::File, metadata, relPath));
    };
    // After a refused copy the folders are made again: one made while the storage was gone (a refusal
    // that only the copy into it reports) is missing when the storage is back.
    bool refused = false;
    return RepeatWhilePaused([&] {
        if (previous >= 0 && previous < set_.PreviousLocalFilesTimeList.size() &&
            set_.PreviousLocalFilesTimeList[previous] == time) {
            if (set_.RunKind == btSync)
                recordMetadata();
            return true; // unchanged since the last run
        }
        if ((ensureChain || refused) && !EnsureFolderChain(folderRel))
            return false;
        if (!ClearReplacedOnMirror(relPath, true))
            return false;
        switch (job_.FileOperation(atCopyFromLocalToRemoteFileThroughTempFolder, localPath,
                                   TargetPath(relPath), retries_, true)) {
        case orSuccess:
            set_.CopiedFilesList.append(relPath);
            if (link)
                set_.CopiedLinks.insert(relPath);
            recordMetadata();
            job_.CurrentBackupFilesProcessed.fetch_add(1);
            return true;
        case orERROR_LocalAccess:
            KeepUnreadableFile(localPath, previous);
            return true;
        case orERROR_RemoteAccess:
            ForgetFolderChain(folderRel);
            refused = true;
            return false;
        }
        return false;
    });
}

// A file that is still there but could not be read keeps what the last run recorded for it, so it is
// neither recorded as removed nor deleted from a mirror; one that is gone, or new, is absent from this
// run. The failed copy has written its error line.
void TSourceScanner::KeepUnreadableFile(const QString& localPath, qsizetype previous) {
    TLocalEntry entry;
    const bool stillThere = LocalStat(localPath, entry) == 0 && entry.Exists;
    if (stillThere && previous >= 0 && previous < set_.PreviousLocalFilesTimeList.size())
        set_.LocalFilesTimeList.last() = set_.PreviousLocalFilesTimeList[previous];
    else
        set_.RemoveLastLocalFile();
}

void TSourceScanner::ScanSingleFile(const QString& path, const QString& name) {
    if (!WaitingPoint())
        return;
    TDirectoryEntry entry;
    QByteArray rawName;
    const qsizetype slash = path.lastIndexOf(PathSeparator);
    TDirectoryReader folder(slash <= 0 ? QString(PathSeparator) : path.left(slash));
    // Find the file in its folder's listing, as the listing is what gives its time.
    while (folder.Next(entry, rawName)) {
        if (entry.Name != name)
            continue;
        if (entry.EntryType == TDirectoryEntry::Type::File || entry.EntryType == TDirectoryEntry::Type::Link)
            RecordAndCopy(path, name, QString(), EntryTimeText(entry), MetadataOf(entry), false,
                          entry.EntryType == TDirectoryEntry::Type::Link);
        return;
    }
}

void TSourceScanner::CompareWithPreviousRun() {
    if (!WaitingPoint())
        return;
    const bool mirror = set_.RunKind == btSync;
    const QStringList& previousFiles = set_.PreviousLocalFilesList.Items();
    for (qsizetype i = 0; i < previousFiles.size(); ++i) {
        const QString& file = previousFiles[i];
        if (set_.FoundPreviousFile(i) || WasReplacedOnMirror(file))
            continue;
        if (!mirror) {
            set_.RemovedFilesList.append(file);
            continue;
        }
        const bool removed = RepeatWhilePaused([&] {
            return job_.FileOperation(atRemoveRemoteFile, QString(), TargetPath(file), retries_, true) ==
                   orSuccess;
        });
        if (!removed)
            return;
    }
    const QStringList& previousDirs = set_.PreviousLocalDirsList.Items();
    for (qsizetype i = previousDirs.size() - 1; i >= 0; --i) {
        const QString& folder = previousDirs[i];
        if (set_.FoundPreviousDir(i) || WasReplacedOnMirror(folder))
            continue;
        if (!mirror) {
            set_.RemovedDirsList.append(folder);
            continue;
        }
        const bool removed = RepeatWhilePaused([&] {
            return job_.FileOperation(atRemoveRemoteEmptyFolder, QString(), TargetPath(folder), retries_,
                                      true) == orSuccess;
        });
        if (!removed)
            return;
    }
}

} // namespace morvane
