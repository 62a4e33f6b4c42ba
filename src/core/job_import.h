#pragma once

#include "jobs/job.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace morvane {

// What importing a job from its storage copy gave.
struct TImportedJob {
    std::unique_ptr<TJob> Job; // null when the import failed
    QString Failure;           // the translated message to show when it failed
    QStringList Log;           // the lines of the storage operations (their errors among them)
};

// Reads the job that a storage copy (".bmj", on a local folder or a network share) describes, under
// `name`, with its schedule disabled, and takes over the backup folder beside the copy for this
// installation: a job of the same name of another user or computer refuses the folder from then on.
// A share is reached with the user name and password given (none: without credentials of our own);
// the folder is taken over with the job's own when it has them. The caller checks the name and adds
// the job to the catalogue.
TImportedJob ImportJobFromStorage(const QString& storageCopyPath, const QString& name,
                                  const QString& networkUser = QString(),
                                  const QString& networkPassword = QString());

} // namespace morvane
