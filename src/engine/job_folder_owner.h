#pragma once

#include <QString>

namespace morvane {

class TJob;

// Two installations (two users, or two computers) may each have a job of the same name writing to the
// same destination. The job folder therefore names its owner in its owner file, and a job uses a folder
// only when that names this installation; import is the way to take a folder over.

enum class TFolderOwner {
    Ours,     // the owner file names this installation
    Foreign,  // it names another one (or nothing readable)
    Unmarked, // no owner file, but the folder or its storage copy exists: made by an earlier version
    Absent,   // neither the folder nor its storage copy exists
};

struct TOwnerCheck {
    TFolderOwner Owner = TFolderOwner::Absent;
    // Why the owner could not be learnt (storage or identity unreadable); nothing may be decided then.
    QString Problem;
};

// Looks at the job folder through the job's storage access (its open connection when it has one).
TOwnerCheck CheckJobFolderOwner(TJob& job, const QString& jobFolder);

// Before a backup run writes into the job folder, and again once it has created the folder: true when
// the run may go on. A foreign folder is refused with an error line and an events line naming import;
// an unmarked one becomes ours. An absent folder is left for the run to create.
bool ClaimJobFolder(TJob& job, const QString& jobFolder);

// For the commands that only read the storage: empty when the job may read the folder (ours, unmarked
// or absent), otherwise the translated text saying why not.
QString RefuseForeignJobFolder(TJob& job, const QString& jobFolder);

// Import: makes the folder ours whoever owned it, creating it when missing. False after error lines.
bool TakeOverJobFolder(TJob& job, const QString& jobFolder);

} // namespace morvane
