// The backup run of a drive-image job through the imaging tool, the removal of its images and the
// storage check before a restore.

#include "formats/events_log.h"
#include "i18n/translation.h"
#include "image/drive_image_restore.h"
#include "image/imaging_command_lines.h"
#include "image/imaging_output.h"
#include "image/restore_guidance.h"
#include "jobs/job.h"
#include "jobs/run_log.h"
#include "platform/local_files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "storage/storage_connection.h"
#include "storage/storage_fs.h"

namespace morvane {

namespace {

const QString SeparatorLine = QStringLiteral("-----------------------------");
// The worker looks at the job's status at least this often while the tool runs.
constexpr int ToolWaitMilliseconds = 100;

class TDriveImageRun {
public:
    TDriveImageRun(TJob_DriveImage& job, IProcessService& processes, const QString& toolBesideProgram)
        : job_(job), processes_(processes), toolBesideProgram_(toolBesideProgram) {}
    void Run();

private:
    bool Cancelling() const { return job_.JobStatus == jsCancelling; }
    QString T(const QString& english) const { return job_.TranslateText(english); }

    void Prepare();
    void RunTool();
    void FollowOutput(IChildProcess& tool);
    void AfterTool();
    void RecordCancellation();
    void Close();

    TJob_DriveImage& job_;
    IProcessService& processes_;
    QString toolBesideProgram_;
    TDateTime startTime_ = 0;
    QString jobFolder_;
    // The program that started the tool: the stop and prune commands go to the same one.
    QString startedProgram_;
    // The text of the run's closing line, "Backup is cancelled." or empty.
    QString closingText_;
};

void TDriveImageRun::Run() {
    startTime_ = UniqueRunStart(job_, Now());
    jobFolder_ = OpenBackupRun(job_, startTime_);
    if (jobFolder_.isEmpty())
        return;
    try {
        Prepare();
    } catch (...) {
        // The run ends here; a network connection must not outlive it.
        job_.DisconnectFromStorage();
        throw;
    }
    if (Cancelling()) {
        RecordCancellation();
    } else {
        RunTool();
        AfterTool();
    }
    Close();
}

void TDriveImageRun::Prepare() {
    job_.DeleteTempFiles();
    const QString tempFolder = JoinPath(job_.JobOptions.General.PathForTempFiles, job_.stJobName);
    if (const int error = LocalCreateDirectories(tempFolder); error != 0)
        throw TStorageError(error, SystemErrorMessage(error) + QStringLiteral(": ") + tempFolder);
    job_.CurrentBackupSize = 0;
    job_.CurrentBackupFilesProcessed = 0;
    job_.CurrentFileOperationProgress = 0;
    job_.CurrentFileOperationPath.Set(QStringView());
    job_.LastJobResult.Log.append(SeparatorLine);
}

void TDriveImageRun::RunTool() {
    const QString arguments = QString::fromUtf16(StartBackupVerb) +
                              ImagingArguments(TImagingCommand::StartBackup, job_, LocalDrivePart);
    job_.CurrentFileOperationType = atNone;
    int error = 0;
    std::unique_ptr<IChildProcess> tool;
    for (const QString& program : {QString::fromUtf16(ImagingToolName), toolBesideProgram_}) {
        tool = processes_.StartWithOutputPipe(program, arguments, error);
        if (tool) {
            startedProgram_ = program;
            break;
        }
    }
    if (!tool) {
        job_.JobStatus = jsCancelling;
        AddTranslatedToRunLog(job_, T(TR_NOOP("ERROR:")) + SystemErrorMessage(error));
        return;
    }
    FollowOutput(*tool);
}

void TDriveImageRun::FollowOutput(IChildProcess& tool) {
    TImagingOutput output(job_);
    while (true) {
        const bool ended = tool.WaitForEnd(ToolWaitMilliseconds);
        // Only what the pipe holds is read, so the worker never blocks on it.
        while (tool.BytesAvailable() > 0) {
            const QByteArray chunk = tool.Read(TImagingOutput::ChunkSize);
            output.HandleChunk(chunk);
            if (chunk.size() < TImagingOutput::ChunkSize)
                break;
        }
        if (ended || Cancelling())
            return;
    }
}

void TDriveImageRun::AfterTool() {
    if (Cancelling()) {
        // The tool outlives the run unless asked to stop; the run does not wait for it.
        if (!startedProgram_.isEmpty())
            processes_.LaunchElevated(startedProgram_, QString::fromUtf16(StopJobParameters));
        RecordCancellation();
        return;
    }
    // Only a run without errors may thin out the versions: a failed one may have written none.
    if (job_.Settings.AutocleanOldBackups && job_.LastJobResult.ErrorsCount == 0 &&
        !startedProgram_.isEmpty())
        processes_.LaunchElevated(startedProgram_,
                                  QString::fromUtf16(DeleteBackupVerb) +
                                      ImagingArguments(TImagingCommand::Prune, job_, LocalDrivePart));
    const QString localCopy =
        JoinPath(job_.JobOptions.General.PathForTempFiles, job_.stJobName + QStringLiteral(".bmj"));
    job_.SaveRemoteJobFile(localCopy);
    if (!Cancelling() &&
        job_.FileOperation(atCopyFromLocalToRemoteFile, localCopy, jobFolder_ + QStringLiteral(".bmj"),
                           job_.JobOptions.Processing.IfDestinationNotAvailable_Retry_Times,
                           true) != orSuccess)
        job_.JobStatus = jsCancelling;
}

void TDriveImageRun::RecordCancellation() {
    const QString cancelled = T(TR_NOOP("Backup is cancelled."));
    closingText_ = cancelled;
    AddToEventsLog(FormatText(T(TR_NOOP("\"%s\" backup is cancelled.")), {job_.stJobName}));
    job_.AddEventtoBackupHistory(cancelled, false);
    job_.LastJobResult.Cancelled = true;
}

void TDriveImageRun::Close() {
    if (closingText_.isEmpty())
        job_.LastJobResult.Log.append(QString());
    else
        AddTranslatedToRunLog(job_, closingText_);
    AddToRunLog(job_, TR_NOOP("Removing the temporary files."));
    job_.DeleteTempFiles();
    job_.DisconnectFromStorage();
    SaveRunLog(job_, startTime_);
}

} // namespace

void TJob_DriveImage::Backup() {
    BeginBackup();
    toolBesideProgram_ = ImagingToolBesideProgram();
    StartWorker([this] {
        try {
            BackupInThread();
        } catch (const std::exception& error) {
            JobStatus = jsNone;
            AddToEventsLog(FormatText(TranslateText(QStringLiteral("Error occured in job \"%s\": %s")),
                                      {stJobName, QString::fromUtf8(error.what())}));
        }
    });
}

void TJob_DriveImage::BackupInThread() {
    if (toolBesideProgram_.isEmpty())
        toolBesideProgram_ = ImagingToolBesideProgram();
    TDriveImageRun(*this, ProcessService ? *ProcessService : SystemProcessService(), toolBesideProgram_)
        .Run();
}

bool TJob_DriveImage::Remove() {
    OptionsToJobOptions();
    JobOperation = joRemove;
    const TConnectResult connection = ConnectToStorage();
    if (!connection.Connected) {
        AddToEventsLog(connection.Error);
        return false;
    }
    const QString& jobFolder = connection.JobFolder;
    bool launched = false;
    if (FileOperation(atRemoveRemoteFile, QString(), jobFolder + QStringLiteral(".bmj"), 0, true) ==
            orSuccess &&
        Settings.AutocleanOldBackups && LastJobResult.ErrorsCount == 0) {
        IProcessService& processes = ProcessService ? *ProcessService : SystemProcessService();
        const QString parameters = QString::fromUtf16(DeleteBackupVerb) +
                                   ImagingArguments(TImagingCommand::DeleteAll, *this, LocalDrivePart);
        launched = processes.LaunchElevated(QString::fromUtf16(ImagingToolName), parameters) ||
                   processes.LaunchElevated(ImagingToolBesideProgram(), parameters);
    }
    DisconnectFromStorage();
    return launched;
}

TConnectResult CheckDriveImageRestoreStorage(TJob_DriveImage& job) {
    const TConnectResult connection = job.ConnectToStorage();
    // The guidance does not use the storage: the check is all it needed.
    if (connection.Connected)
        job.DisconnectFromStorage();
    return connection;
}

void ShowDriveImageRestoreOutcome(TJob_DriveImage& job, TDriveImageRestoreGuidance& guidance,
                                  const TConnectResult& connection, int32_t errorsBefore) {
    if (!connection.Connected) {
        // A failed check is no error of the last run.
        job.LastJobResult.ErrorsCount = errorsBefore;
        const QString cancelled =
            FormatText(job.TranslateText(QStringLiteral("\"%s\" restore is cancelled.")), {job.stJobName});
        AddToEventsLog(connection.Error);
        AddToEventsLog(cancelled);
        guidance.ShowErrorMessage(connection.Error + QStringLiteral("\r\n") + cancelled);
        return;
    }
    if (!connection.JobFolder.isEmpty())
        guidance.ShowRestoreGuidance();
}

void TJob_DriveImage::Restore(TDriveImageRestoreGuidance& guidance) {
    OptionsToJobOptions();
    const int32_t errorsBefore = LastJobResult.ErrorsCount;
    ShowDriveImageRestoreOutcome(*this, guidance, CheckDriveImageRestoreStorage(*this), errorsBefore);
}

} // namespace morvane
