#pragma once

#include "engine/restore_dialogs.h"
#include "jobs/job.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace morvane {

// The restore points the storage copy of a files-and-folders job lists.
struct TRestorePoints {
    QStringList Names;             // stored backup names, oldest first, without the type marker
    bool UnfinishedMirror = false; // a mirror job whose last run did not finish
    TBackupChainState Chain;       // what the storage copy holds, Names as its backup list
};

// Reads the restore points: connects, refuses a job folder that another installation owns, copies the
// storage copy of the job file and the start flag into a temporary folder of its own (removed before
// it returns), disconnects, and sets the job's backup type (in memory) from the stored type marker.
// Returns the text of the error message to show, or an empty text on success. The job's own temporary
// files, which a running backup of the job may be using, are never touched.
QString ReadRestorePoints(TJob_FilesAndFolders& job, TRestorePoints& points);

// TJob_FilesAndFolders::Restore in its three steps, for a caller that must not wait for the storage on
// the thread that asks the user: BeginRestore and ContinueRestore run on the asking thread, and
// ReadRestorePoints between them on any other.

// Marks the job as reading its restore points, takes its options copy and asks for the output folder;
// then shows the chooser loading and clears the last result. Nothing, and the job idle again, when no
// existing folder was chosen.
std::optional<QString> BeginRestore(TJob_FilesAndFolders& job, TRestoreDialogs& dialogs);

// After ReadRestorePoints returned `failure` (empty on success): closes the chooser, reports a failure,
// refuses an unfinished mirror, asks for the restore point and starts the run on the job's worker.
void ContinueRestore(TJob_FilesAndFolders& job, TRestoreDialogs& dialogs, const QString& outputPath,
                     const QString& failure, TRestorePoints points);

// A backup name as the user sees it: every ";" shown as ":".
QString ShownRestorePointName(const QString& storedName);

} // namespace morvane
