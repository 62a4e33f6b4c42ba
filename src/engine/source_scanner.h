#pragma once

#include "engine/backup_working_set.h"

#include <QByteArray>
#include <QSet>
#include <QString>

namespace morvane {

class TDirectoryReader;
struct TDirectoryEntry;

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
    void CompareWithPreviousRun();

    // Waits while the job is paused; false once it is being cancelled.
    bool WaitingPoint();

private:
    void ScanOpenFolder(TDirectoryReader& reader, const QString& dir, const QString& rel);
    void ScanFolderEntry(TDirectoryReader& reader, const TDirectoryEntry& entry, const QByteArray& rawName,
                         const QString& dir, const QString& rel);
    void ScanFileEntry(const TDirectoryEntry& entry, const QString& dir, const QString& rel);
    // Records the file and copies it when new or changed; false when the run is being cancelled.
    bool RecordAndCopy(const QString& localPath, const QString& relPath, const QString& folderRel,
                       const QString& time, bool ensureChain, bool link);
    bool CreateNewFolder(const QString& relPath);
    // Repeats `step` while it fails under the pause policy; false when the run is cancelled.
    template <typename Step> bool RepeatWhilePaused(Step step);
    // The policy after a storage failure: true to repeat the step once resumed, false when cancelled.
    bool ApplyDestinationPolicy();

    bool IsExcludedFolder(const QString& path, const QString& name) const;
    bool PassesExtensionFilter(const QString& name) const;
    QString TimeText(const timespec& lastWrite) const;
    QString EntryTimeText(const TDirectoryEntry& entry) const;
    QString TargetPath(const QString& relPath) const;

    TJob_FilesAndFolders& job_;
    TBackupWorkingSet& set_;
    int retries_;
    QSet<QString> excludedDirs_;
    QString tempFolder_;
    QString extensions_;
    QChar timeSeparator_;
};

} // namespace morvane
