#include "engine/source_scanner.h"

#include "i18n/translation.h"
#include "jobs/run_log.h"
#include "platform/directory_reader.h"
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
    QStringLiteral("dumpstack.log.tmp"), QStringLiteral("pagefile.sys"),    QStringLiteral("swapfile.sys"),
    QStringLiteral("ntuser.dat"),        QStringLiteral("hiberfil.sys"),    QStringLiteral("ntuser.dat.log1"),
    QStringLiteral("ntuser.dat.log2"),
};

const QString AnyPathPrefix = QStringLiteral("%anypath%") + PathSeparator;

QString WithSeparator(const QString& path) {
    return path.isEmpty() || path.endsWith(PathSeparator) ? path : path + PathSeparator;
}

QString WithoutTrailingSeparator(QString path) {
    while (path.size() > 1 && path.endsWith(PathSeparator))
        path.chop(1);
    return path;
}

void AppendTwoDigits(QString& text, int value, QChar after) {
    text.append(QChar(u'0' + value / 10));
    text.append(QChar(u'0' + value % 10));
    if (!after.isNull())
        text.append(after);
}

} // namespace

void TBackupWorkingSet::ClearLists() {
    PreviousLocalFilesList.Clear();
    PreviousLocalFilesTimeList.clear();
    PreviousLocalDirsList.Clear();
    LocalFilesList.Clear();
    LocalFilesTimeList.clear();
    LocalDirsList.Clear();
    CopiedFilesList.clear();
    CreatedDirsList.clear();
    RemovedFilesList.clear();
    RemovedDirsList.clear();
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
            job_, job_.TranslateText(QStringLiteral("The job will be cancelled because destination is not accepting the file.")) +
                      crlf +
                      job_.TranslateText(QStringLiteral("Possible reasons: device is disconnected; device is corrupted; network issues; transfer is blocked by antivirus.")) +
                      crlf +
                      job_.TranslateText(QStringLiteral("If you do not want to cancel the job next time, please open the General Options, the tab \"Backup\".")) +
                      crlf + job_.TranslateText(QStringLiteral("Select the option \"Pause the job and wait for your action\".")));
    }
    job_.JobStatus = jsCancelling;
    return false;
}

template <typename Step>
bool TSourceScanner::RepeatWhilePaused(Step step) {
    for (;;) {
        if (!WaitingPoint())
            return false;
        if (step())
            return true;
        if (!ApplyDestinationPolicy())
            return false;
    }
}

QString TSourceScanner::TargetPath(const QString& relPath) const { return JoinPath(set_.TargetFolder, relPath); }

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
        if (job_.FileOperation(atCreateRemoteFolder, QString(), TargetPath(prefix), retries_, true) != orSuccess)
            return false;
        set_.CreatedFoldersCache.insert(prefix);
    }
    return true;
}

void TSourceScanner::ScanFolder(const QString& dir, const QString& rel) {
    if (!WaitingPoint())
        return;
    TDirectoryReader reader(dir);
    ScanOpenFolder(reader, WithSeparator(dir), WithSeparator(rel));
}

void TSourceScanner::ScanOpenFolder(TDirectoryReader& reader, const QString& dir, const QString& rel) {
    TDirectoryEntry entry;
    QByteArray rawName;
    while (WaitingPoint() && reader.Next(entry, rawName)) {
        if (entry.EntryType == TDirectoryEntry::Type::Other)
            continue; // devices, pipes, sockets and links to folders are never backed up
        if (job_.JobOptions.Processing.SkipHiddenSystemFiles && entry.Hidden)
            continue;
        if (entry.EntryType == TDirectoryEntry::Type::Directory)
            ScanFolderEntry(reader, entry, rawName, dir, rel);
        else
            ScanFileEntry(entry, dir, rel);
    }
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
        return job_.FileOperation(atCreateRemoteFolder, QString(), TargetPath(relPath), retries_, true) == orSuccess;
    });
}

void TSourceScanner::ScanFolderEntry(TDirectoryReader& reader, const TDirectoryEntry& entry,
                                     const QByteArray& rawName, const QString& dir, const QString& rel) {
    if (!reader.StillExists()) {
        AddWarningToRunLog(job_, job_.TranslateText(QStringLiteral("The directory does not exist:")) + u' ' + dir);
        return;
    }
    const QString path = dir + entry.Name;
    if (IsExcludedFolder(path, entry.Name))
        return;
    const QString relPath = rel + entry.Name;
    set_.LocalDirsList.Append(relPath);
    if (!set_.PreviousLocalDirsList.Contains(relPath)) {
        if (!CreateNewFolder(relPath))
            return;
        set_.CreatedDirsList.append(relPath);
    }
    if (!WaitingPoint())
        return;
    TDirectoryReader child(reader, rawName);
    ScanOpenFolder(child, WithSeparator(path), WithSeparator(relPath));
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

QString TSourceScanner::TimeText(const timespec& lastWrite) const {
    std::tm local{};
    ::localtime_r(&lastWrite.tv_sec, &local);
    QString text;
    text.reserve(23);
    text.append(QString::number(local.tm_year + 1900).rightJustified(4, u'0'));
    text.append(u'-');
    AppendTwoDigits(text, local.tm_mon + 1, u'-');
    AppendTwoDigits(text, local.tm_mday, u' ');
    AppendTwoDigits(text, local.tm_hour, timeSeparator_);
    AppendTwoDigits(text, local.tm_min, timeSeparator_);
    AppendTwoDigits(text, local.tm_sec, timeSeparator_);
    text.append(QString::number(lastWrite.tv_nsec / 1'000'000).rightJustified(3, u'0'));
    return text;
}

void TSourceScanner::ScanFileEntry(const TDirectoryEntry& entry, const QString& dir, const QString& rel) {
    const QString path = dir + entry.Name;
    if (entry.EntryType == TDirectoryEntry::Type::Missing) {
        AddWarningToRunLog(job_, job_.TranslateText(QStringLiteral("The file does not exist:")) + u' ' + path);
        return;
    }
    if (!PassesExtensionFilter(entry.Name) || SkippedFileNames.contains(entry.Name.toLower()))
        return;
    RecordAndCopy(path, rel + entry.Name, rel, TimeText(entry.LastWrite), set_.RunKind == btInc);
}

bool TSourceScanner::RecordAndCopy(const QString& localPath, const QString& relPath, const QString& folderRel,
                                   const QString& time, bool ensureChain) {
    set_.LocalFilesList.Append(relPath);
    set_.LocalFilesTimeList.append(time);
    return RepeatWhilePaused([&] {
        const qsizetype previous = set_.PreviousLocalFilesList.IndexOf(relPath);
        if (previous >= 0 && previous < set_.PreviousLocalFilesTimeList.size() &&
            set_.PreviousLocalFilesTimeList[previous] == time)
            return true; // unchanged since the last run
        if (ensureChain && !EnsureFolderChain(folderRel))
            return false;
        switch (job_.FileOperation(atCopyFromLocalToRemoteFileThroughTempFolder, localPath, TargetPath(relPath),
                                   retries_, true)) {
        case orSuccess:
            set_.CopiedFilesList.append(relPath);
            job_.CurrentBackupFilesProcessed.fetch_add(1);
            return true;
        case orERROR_LocalAccess: // unreadable or locked: absent from this run
            set_.LocalFilesList.RemoveLast();
            set_.LocalFilesTimeList.removeLast();
            return true;
        case orERROR_RemoteAccess:
            return false;
        }
        return false;
    });
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
        if (entry.EntryType == TDirectoryEntry::Type::File)
            RecordAndCopy(path, name, QString(), TimeText(entry.LastWrite), false);
        return;
    }
}

void TSourceScanner::CompareWithPreviousRun() {
    if (!WaitingPoint())
        return;
    const bool mirror = set_.RunKind == btSync;
    const QStringList& previousFiles = set_.PreviousLocalFilesList.Items();
    for (const QString& file : previousFiles) {
        if (set_.LocalFilesList.Contains(file))
            continue;
        if (!mirror) {
            set_.RemovedFilesList.append(file);
            continue;
        }
        const bool removed = RepeatWhilePaused([&] {
            return job_.FileOperation(atRemoveRemoteFile, QString(), TargetPath(file), retries_, true) == orSuccess;
        });
        if (!removed)
            return;
    }
    const QStringList& previousDirs = set_.PreviousLocalDirsList.Items();
    for (qsizetype i = previousDirs.size() - 1; i >= 0; --i) {
        const QString& folder = previousDirs[i];
        if (set_.LocalDirsList.Contains(folder))
            continue;
        if (!mirror) {
            set_.RemovedDirsList.append(folder);
            continue;
        }
        const bool removed = RepeatWhilePaused([&] {
            return job_.FileOperation(atRemoveRemoteEmptyFolder, QString(), TargetPath(folder), retries_, true) ==
                   orSuccess;
        });
        if (!removed)
            return;
    }
}

} // namespace morvane
