#pragma once

#include "engine/backup_working_set.h"
#include "platform/directory_reader.h"

#include <QByteArray>
#include <QSet>
#include <QString>

#include <deque>
#include <functional>

namespace morvane {

class TCopyAhead;
class TDirectoryReader;
struct TFileMetadata;

// Walks a run's sources: records every file and folder that passes the skip rules and the extension
// filter, copies what is new or changed since the last successful run into the target folder, creates
// new folders there, and finally finds what has disappeared. Runs on the run's worker thread.
class TSourceScanner {
public:
    TSourceScanner(TJob_FilesAndFolders& job, TBackupWorkingSet& set);

    // Walks a folder source; `rel` is its relative path (the folder's own name).
    void ScanFolder(const QString& dir, const QString& rel);
    void ScanSingleFile(const QString& path, const QString& name);
    // Creates every level of `rel` in the target folder not yet created in this run.
    bool EnsureFolderChain(const QString& rel);
    // Lets the next EnsureFolderChain make the folder and those above it again.
    void ForgetFolderChain(const QString& rel);
    void CompareWithPreviousRun();

    // Waits while the job is paused; false once it is being cancelled.
    bool WaitingPoint();
    // Runs a step on the storage until it succeeds: after a failure the destination policy pauses the
    // run, and the step is repeated once the user resumes, or cancels it. False when cancelled.
    bool RetryWhilePaused(const std::function<bool()>& step);

    // Hands the files about to be copied to `copyAhead` (none when null) as their folders are read.
    void CopyAheadWith(TCopyAhead* copyAhead) { copyAhead_ = copyAhead; }

private:
    // A folder entry read before its turn, with the time text of a file or link.
    struct TListedEntry {
        TDirectoryEntry Entry;
        QByteArray RawName;
        QString Time;
    };

    void ScanOpenFolder(TDirectoryReader& reader, const QString& dir, const QString& rel);
    // Reads entries up to the window's size, stopping after a folder (its contents come before the
    // entries that follow it); false at the end of the listing.
    bool ReadAhead(TDirectoryReader& reader, std::deque<TListedEntry>& ahead, const QString& dir,
                   const QString& rel);
    void OfferWhenChanged(const TListedEntry& listed, const QString& dir, const QString& rel);
    void ScanListedEntry(TDirectoryReader& reader, const TListedEntry& listed, const QString& dir,
                         const QString& rel);
    void ScanFolderEntry(TDirectoryReader& reader, const TDirectoryEntry& entry, const QByteArray& rawName,
                         const QString& dir, const QString& rel);
    // Whether a listed file or link is one the run records (and so copies when changed).
    bool IsRecordedFile(const TDirectoryEntry& entry) const;
    void ScanFileEntry(const TDirectoryEntry& entry, const QString& time, const QString& dir,
                       const QString& rel);
    // Records the file and copies it when new or changed; false when the run is being cancelled.
    bool RecordAndCopy(const QString& localPath, const QString& relPath, const QString& folderRel,
                       const QString& time, const TFileMetadata& metadata, bool ensureChain, bool link);
    bool CreateNewFolder(const QString& relPath);
    void KeepUnreadableFolder(const QString& dir, const QString& rel, int error);
    void KeepUnreadableFile(const QString& localPath, qsizetype previous);
    // Removes from a mirror what the last run recorded under this name as the other kind of entry;
    // false when the run is cancelled.
    bool ClearReplacedOnMirror(const QString& relPath, bool wasFolder);
    bool WasReplacedOnMirror(const QString& relPath) const;
    // Repeats `step` while it fails under the pause policy; false when the run is cancelled.
    template <typename Step> bool RepeatWhilePaused(Step step);
    // The policy after a storage failure: true to repeat the step once resumed, false when cancelled.
    bool ApplyDestinationPolicy();

    bool IsExcludedFolder(const QString& path, const QString& name) const;
    bool PassesExtensionFilter(const QString& name) const;
    // The time text recorded for a file. It is the inode's change time, not the last-write time: the
    // kernel moves it on every write, chmod, chown and rename, and no program can set it back, so a
    // content change under a restored last-write time, or a mode change, is still seen.
    QString TimeText(const timespec& moment) const;
    QString EntryTimeText(const TDirectoryEntry& entry) const;
    QString TargetPath(const QString& relPath) const;

    TJob_FilesAndFolders& job_;
    TBackupWorkingSet& set_;
    int retries_;
    QSet<QString> excludedDirs_;
    QSet<QString> replacedOnMirror_; // entries whose kind changed, removed from the mirror in this run
    QString tempFolder_;
    QString extensions_;
    QChar timeSeparator_;
    TCopyAhead* copyAhead_ = nullptr;
};

} // namespace morvane
