#include "core/job_import.h"

#include "engine/backup_layout.h"
#include "engine/job_folder_owner.h"
#include "i18n/translation.h"
#include "jobs/job_file.h"
#include "platform/paths.h"
#include "storage/storage_fs.h"

#include <QFileInfo>

namespace morvane {

namespace {

// Reads the copied storage copy into a new job of its kind; nullptr when it is damaged.
std::unique_ptr<TJob> LoadImportedJob(const QString& name, const QString& copy, int kind) {
    try {
        if (kind == 1) {
            auto job = std::make_unique<TJob_FilesAndFolders>(name);
            TBackupChainState scratch;
            return job->LoadRemoteJobFile(copy, true, scratch) ? std::move(job) : nullptr;
        }
        auto job = std::make_unique<TJob_DriveImage>(name);
        return job->LoadRemoteJobFile(copy, true) ? std::move(job) : nullptr;
    } catch (const std::exception&) {
        return nullptr;
    }
}

// The job folder a storage copy belongs to: the copy's path without its extension.
QString JobFolderOf(const QString& storageCopyPath) {
    const QString path =
        IsNetworkPath(storageCopyPath) ? storageCopyPath : QFileInfo(storageCopyPath).absoluteFilePath();
    return path.chopped(JobCopyExtension.size());
}

} // namespace

TImportedJob ImportJobFromStorage(const QString& storageCopyPath, const QString& name,
                                  const QString& networkUser, const QString& networkPassword) {
    TImportedJob imported;
    // A plain job carries the copy through a temporary folder of its own: a job of this name may exist
    // elsewhere, and its temporary files are not ours to touch.
    TJob_FilesAndFolders carrier(name);
    carrier.OptionsToJobOptions();
    carrier.Destination_NetworkUsername = networkUser;
    carrier.Destination_NetworkPassword = networkPassword;
    if (const std::unique_ptr<QTemporaryDir> temp = MakePrivateTempFolder(carrier)) {
        const QString copy = JoinPath(temp->path(), name + JobCopyExtension);
        const bool copied =
            carrier.FileOperation(atCopyFromRemoteToLocalFile, copy, storageCopyPath, 0, true) == orSuccess;
        const int kind = copied ? GetJobFileKind(copy) : 0;
        if (kind != 0)
            imported.Job = LoadImportedJob(name, copy, kind);
    }
    imported.Log = carrier.LastJobResult.Log;
    if (!imported.Job) {
        imported.Failure = Translate(QStringLiteral("Unable to open the job file from the backup storage."));
        return imported;
    }
    if (imported.Job->JobKind() != TJob::Kind::FilesAndFolders)
        return imported;
    TJob& job = *imported.Job;
    job.OptionsToJobOptions();
    // Credentials are taken over with the folder only for reaching it now; the job keeps its own.
    const QString storedUser = job.Destination_NetworkUsername;
    const QString storedPassword = job.Destination_NetworkPassword;
    if (storedUser.trimmed().isEmpty() && !networkUser.trimmed().isEmpty()) {
        job.Destination_NetworkUsername = networkUser;
        job.Destination_NetworkPassword = networkPassword;
    }
    const QString jobFolder = JobFolderOf(storageCopyPath);
    const bool takenOver = TakeOverJobFolder(job, jobFolder);
    job.Destination_NetworkUsername = storedUser;
    job.Destination_NetworkPassword = storedPassword;
    imported.Log += job.LastJobResult.Log;
    job.LastJobResult.Log.clear();
    job.LastJobResult.ErrorsCount = 0;
    if (!takenOver) {
        imported.Job.reset();
        imported.Failure =
            Translate(QStringLiteral("Unable to take over the backup folder on the storage:")) + u' ' +
            jobFolder;
    }
    return imported;
}

} // namespace morvane
