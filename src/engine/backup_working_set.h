#pragma once

#include "engine/path_list.h"
#include "jobs/job.h"

#include <QSet>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace morvane {

// The lists one backup run builds and compares. Relative paths start at the source folder's own name
// ("Documents/Tax/2023.pdf"); a single-file source is its bare file name; folders carry no trailing
// separator.
struct TBackupWorkingSet {
    TPathList PreviousLocalFilesList;       // files recorded by the last successful run
    QStringList PreviousLocalFilesTimeList; // their time texts, parallel to the above
    TPathList PreviousLocalDirsList;        // folders recorded by the last successful run
    QStringList LocalFilesList;             // files found by this scan
    QStringList LocalFilesTimeList;         // change-time texts, parallel to LocalFilesList
    QStringList LocalDirsList;              // folders found by this scan
    QStringList CopiedFilesList;            // "_rf.qkl"
    QSet<QString> CopiedLinks;              // the entries of CopiedFilesList that are symbolic links
    QStringList CreatedDirsList;            // "_rd.qkl"
    QStringList RemovedFilesList;           // "_rrf.qkl"
    QStringList RemovedDirsList;            // "_rrd.qkl"
    QStringList MetadataList;               // "_rm.qkl": copied files and every folder found
    QSet<QString> CreatedFoldersCache;      // folders already made in this run's target
    TBackupType RunKind = btSync;
    QString TargetFolder; // storage folder that receives this run's files

    // Records a file found by the scan; returns the index of its first entry in the previous file
    // list, or -1.
    qsizetype AddLocalFile(const QString& relPath, const QString& time);
    // Takes back the file just added (it could not be read after all).
    void RemoveLastLocalFile();
    // Records a folder found by the scan; true when the last run recorded it too.
    bool AddLocalDir(const QString& relPath);
    // Records every entry the last run had below the folder again, with its previous time, as found.
    void KeepPreviousEntriesUnder(const QString& relFolder);
    // Keeps a whole source as the last run recorded it: the file or folder `name` and all below it.
    void KeepPreviousSource(const QString& name);
    // Whether this scan found the previous list's entry again.
    bool FoundPreviousFile(qsizetype index) const;
    bool FoundPreviousDir(qsizetype index) const;

    // Empties every list but the folder cache.
    void ClearLists();

private:
    // How often this scan found each previous entry, counted at the entry's first occurrence. The
    // comparison pass only asks whether a previous entry was found again; counting answers that
    // without indexing every path the scan finds.
    std::vector<int32_t> previousFilesFound_;
    std::vector<int32_t> previousDirsFound_;
    qsizetype lastPreviousFile_ = -1; // where the last file found stood in the previous list
};

} // namespace morvane
