#include "engine/job_folder_owner.h"

#include "engine/backup_layout.h"
#include "formats/events_log.h"
#include "formats/text_file.h"
#include "i18n/translation.h"
#include "jobs/run_log.h"
#include "platform/installation_identity.h"
#include "platform/paths.h"
#include "storage/file_operation.h"

#include <QUuid>

namespace morvane {

namespace {

// An owner file is one short line; more than this is not one of ours.
constexpr int64_t OwnerFileLimit = 4096;

QByteArray ReadSmallFile(TStorageFileSystem& fs, const QString& path) {
    const std::unique_ptr<TStorageFile> file = fs.OpenForReading(path);
    QByteArray bytes(OwnerFileLimit, Qt::Uninitialized);
    int64_t filled = 0;
    while (filled < OwnerFileLimit) {
        const int64_t read = file->Read(bytes.data() + filled, OwnerFileLimit - filled);
        if (read < 0)
            throw TStorageError(int(-read), CopyErrorText(int(-read)));
        if (read == 0)
            break;
        filled += read;
    }
    file->Finish(0);
    bytes.truncate(filled);
    return bytes;
}

bool NamesIdentity(const QByteArray& ownerFile, const QString& identity) {
    const QStringList lines = SplitTextLines(ownerFile);
    const QUuid owner = lines.isEmpty() ? QUuid() : QUuid::fromString(lines.first().trimmed());
    return !owner.isNull() && owner == QUuid::fromString(identity);
}

struct TOwnerLook {
    TOwnerCheck Check;
    QString Identity;
    bool FolderExists = false;
};

TOwnerLook LookAtOwner(TJob& job, const QString& jobFolder) {
    TOwnerLook look;
    look.Identity = InstallationIdentity(&look.Check.Problem);
    if (look.Identity.isEmpty())
        return look;
    try {
        TStorageAccess storage(job);
        const QString ownerFile = JoinPath(jobFolder, OwnerFile);
        TStorageFileSystem& fs = storage.For(ownerFile);
        const TStorageEntry owner = fs.Stat(ownerFile);
        look.FolderExists = owner.Exists || fs.Stat(jobFolder).Exists;
        if (owner.Exists)
            look.Check.Owner = NamesIdentity(ReadSmallFile(fs, ownerFile), look.Identity)
                                   ? TFolderOwner::Ours
                                   : TFolderOwner::Foreign;
        else if (look.FolderExists || fs.Stat(jobFolder + JobCopyExtension).Exists)
            look.Check.Owner = TFolderOwner::Unmarked;
    } catch (const TStorageError& error) {
        look.Check.Problem = error.Text + u' ' + jobFolder;
    }
    return look;
}

// Writes this installation's identity into the job folder, creating the folder when missing.
bool WriteOwnerFile(TJob& job, const TOwnerLook& look, const QString& jobFolder, int retries) {
    const std::unique_ptr<QTemporaryDir> temp = MakePrivateTempFolder(job);
    const QString local = temp ? JoinPath(temp->path(), OwnerFile) : OwnerFile;
    if (!temp || !WriteTextFileLines(local, {look.Identity})) {
        AddErrorToRunLog(job, job.TranslateText(QStringLiteral("Unable to write the file:")) + u' ' + local);
        return false;
    }
    if (!look.FolderExists &&
        job.FileOperation(atCreateRemoteFolder, QString(), jobFolder, 0, true) != orSuccess)
        return false;
    return job.FileOperation(atCopyFromLocalToRemoteFile, local, JoinPath(jobFolder, OwnerFile), retries,
                             true) == orSuccess;
}

QString UncheckedOwnerText(TJob& job, const QString& problem) {
    return job.TranslateText(QStringLiteral("Unable to check who owns the backup folder:")) + u' ' + problem;
}

QString ForeignFolderText(TJob& job, const QString& jobFolder) {
    // clang-format off
    const QString text = job.TranslateText(QStringLiteral("The backup folder %s belongs to a job of another user or computer; this job does not use it. To take the backup over, remove this job (keeping the backup folder) and import the job file %s."));
    // clang-format on
    return FormatText(text, {jobFolder, jobFolder + JobCopyExtension});
}

} // namespace

TOwnerCheck CheckJobFolderOwner(TJob& job, const QString& jobFolder) {
    return LookAtOwner(job, jobFolder).Check;
}

bool ClaimJobFolder(TJob& job, const QString& jobFolder) {
    const TOwnerLook look = LookAtOwner(job, jobFolder);
    QString refusal;
    if (!look.Check.Problem.isEmpty())
        refusal = UncheckedOwnerText(job, look.Check.Problem);
    else if (look.Check.Owner == TFolderOwner::Foreign)
        refusal = ForeignFolderText(job, jobFolder);
    if (!refusal.isEmpty()) {
        AddErrorToRunLog(job, refusal);
        AddToEventsLog(job.TranslateText(QStringLiteral("ERROR:")) + u' ' + refusal);
        return false;
    }
    if (look.Check.Owner != TFolderOwner::Unmarked)
        return true;
    return WriteOwnerFile(job, look, jobFolder,
                          job.JobOptions.Processing.IfDestinationNotAvailable_Retry_Times);
}

QString RefuseForeignJobFolder(TJob& job, const QString& jobFolder) {
    const TOwnerCheck check = CheckJobFolderOwner(job, jobFolder);
    if (!check.Problem.isEmpty())
        return UncheckedOwnerText(job, check.Problem);
    return check.Owner == TFolderOwner::Foreign ? ForeignFolderText(job, jobFolder) : QString();
}

bool TakeOverJobFolder(TJob& job, const QString& jobFolder) {
    const TOwnerLook look = LookAtOwner(job, jobFolder);
    if (!look.Check.Problem.isEmpty()) {
        AddErrorToRunLog(job, UncheckedOwnerText(job, look.Check.Problem));
        return false;
    }
    return look.Check.Owner == TFolderOwner::Ours || WriteOwnerFile(job, look, jobFolder, 0);
}

} // namespace morvane
