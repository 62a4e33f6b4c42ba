#pragma once

#include "engine/path_list.h"
#include "jobs/job.h"

#include <QSet>
#include <QString>
#include <QStringList>

namespace morvane {

// The lists one backup run builds and compares. Relative paths start at the source folder's own name
// ("Documents/Tax/2023.pdf"); a single-file source is its bare file name; folders carry no trailing
// separator.
struct TBackupWorkingSet {
    TPathList PreviousLocalFilesList;       // files recorded by the last successful run
    QStringList PreviousLocalFilesTimeList; // their last-write time texts, parallel to the above
    TPathList PreviousLocalDirsList;        // folders recorded by the last successful run
    TPathList LocalFilesList;               // files found by this scan
    QStringList LocalFilesTimeList;         // parallel to LocalFilesList
    TPathList LocalDirsList;                // folders found by this scan
    QStringList CopiedFilesList;            // "_rf.qkl"
    QStringList CreatedDirsList;            // "_rd.qkl"
    QStringList RemovedFilesList;           // "_rrf.qkl"
    QStringList RemovedDirsList;            // "_rrd.qkl"
    QSet<QString> CreatedFoldersCache;      // folders already made in this run's target
    TBackupType RunKind = btSync;
    QString TargetFolder;                   // storage folder that receives this run's files

    // Empties every list but the folder cache.
    void ClearLists();
};

} // namespace morvane
