#include "control/main_commands.h"

#include "engine/restore_run.h"
#include "formats/text_file.h"
#include "i18n/translation.h"
#include "image/drive_image_restore.h"
#include "options/options.h"
#include "platform/paths.h"
#include "platform/program_state.h"

#include <QFileInfo>
#include <QMetaObject>


namespace morvane {

TMainCommands::TMainCommands(TJobsCatalogue& catalogue, IUserPrompt& prompt, IReportViewer& viewer,
                             TRestoreDialogs& restoreDialogs, TDriveImageRestoreGuidance& imageGuidance,
                             std::function<bool()> busy, QObject* parent)
    : QObject(parent), catalogue_(catalogue), prompt_(prompt), viewer_(viewer),
      restoreDialogs_(restoreDialogs), imageGuidance_(imageGuidance), busy_(std::move(busy)),
      gate_(std::make_shared<TPostGate>(this)) {}

TMainCommands::~TMainCommands() {
    gate_->Close();
}

void TMainCommands::PostToInterface(const std::shared_ptr<TPostGate>& gate, std::function<void()> step) {
    gate->Post(std::move(step));
}

TJob* TMainCommands::JobAt(int row) const {
    return row >= 0 && row < catalogue_.Count() ? &catalogue_.At(row) : nullptr;
}

void TMainCommands::Refuse() {
    prompt_.ShowMessage(Translate(
        QStringLiteral("Unable to complete the action at the moment. Please try again in several seconds.")));
}

bool TMainCommands::RefuseWhileBusy() {
    if (busy_ && busy_()) {
        Refuse();
        return true;
    }
    return false;
}

bool TMainCommands::RefuseUnlessIdle(const TJob& job) {
    if (job.JobStatus != jsNone) {
        Refuse();
        return true;
    }
    return false;
}

void TMainCommands::Backup(int row) {
    TJob* job = JobAt(row);
    if (!job || RefuseUnlessIdle(*job) || RefuseWhileBusy())
        return;
    job->JobStatus = jsWaiting;
}

void TMainCommands::Restore(int row) {
    TJob* job = JobAt(row);
    if (!job || RefuseUnlessIdle(*job) || RefuseWhileBusy())
        return;
    if (auto* files = dynamic_cast<TJob_FilesAndFolders*>(job))
        RestoreFilesAndFolders(*files);
    else if (auto* image = dynamic_cast<TJob_DriveImage*>(job))
        RestoreDriveImage(*image);
}

void TMainCommands::RestoreFilesAndFolders(TJob_FilesAndFolders& job) {
    const std::optional<QString> output = BeginRestore(job, restoreDialogs_);
    if (!output)
        return;
    // The job is running from here on, so no other command starts work on it while its storage is read.
    job.StartWorker([this, gate = gate_, &job, outputPath = *output] {
        auto points = std::make_shared<TRestorePoints>();
        const QString failure = ReadRestorePoints(job, *points);
        // `this` is used only by the posted step, which runs only while this object exists.
        PostToInterface(gate, [this, &job, outputPath, failure, points] {
            ContinueRestore(job, restoreDialogs_, outputPath, failure, std::move(*points));
            Q_EMIT RestoreStepDone();
        });
    });
}

void TMainCommands::RestoreDriveImage(TJob_DriveImage& job) {
    if (catalogue_.AnyJobIsActive()) {
        prompt_.ShowError(Translate(QStringLiteral("Some jobs are currently running.")));
        return;
    }
    job.OptionsToJobOptions();
    const int32_t errorsBefore = job.LastJobResult.ErrorsCount;
    // While its storage is checked the job counts as running: no backup of it starts meanwhile and
    // the check has the job's connection to itself.
    job.JobOperation = joReadRestorePoints;
    job.JobStatus = jsRunning;
    job.StartWorker([this, gate = gate_, &job, errorsBefore] {
        const TConnectResult connection = CheckDriveImageRestoreStorage(job);
        PostToInterface(gate, [this, &job, connection, errorsBefore] {
            job.JobStatus = jsNone;
            ShowDriveImageRestoreOutcome(job, imageGuidance_, connection, errorsBefore);
            Q_EMIT RestoreStepDone();
        });
    });
}

void TMainCommands::Pause(int row) {
    TJob* job = JobAt(row);
    if (!job || RefuseWhileBusy())
        return;
    job->Pause();
}

void TMainCommands::Resume(int row) {
    TJob* job = JobAt(row);
    if (!job || RefuseWhileBusy())
        return;
    // Only a paused job goes on; any other state is the worker's to change.
    TJobStatus paused = jsPaused;
    job->JobStatus.compare_exchange_strong(paused, jsRunning);
}

void TMainCommands::Cancel(int row) {
    TJob* job = JobAt(row);
    if (!job || RefuseWhileBusy())
        return;
    job->Cancel();
}

void TMainCommands::PauseAll() {
    if (busy_ && busy_())
        return;
    for (int i = 0; i < catalogue_.Count(); ++i)
        catalogue_.At(i).Pause();
}

void TMainCommands::CancelAll() {
    if (busy_ && busy_())
        return;
    for (int i = 0; i < catalogue_.Count(); ++i)
        catalogue_.At(i).Cancel();
}

void TMainCommands::OpenLogFile(const TJob& job, const QString& stem) {
    const QString path = JoinPath(JoinPath(GlobalOptions().Logging.PathForLogFiles, job.stJobName),
                                  stem + QStringLiteral(".txt"));
    if (QFileInfo(path).isFile())
        viewer_.OpenReport(path, true);
    else
        prompt_.ShowMessage(Translate(QStringLiteral("Log file does not exist:")) + u' ' + path);
}

void TMainCommands::ViewLog(int row) {
    TJob* job = JobAt(row);
    if (!job || RefuseUnlessIdle(*job) || job->LogList.isEmpty())
        return;
    OpenLogFile(*job, job->LogList.last());
}

QStringList TMainCommands::LogMenuEntries(int row) const {
    const TJob* job = JobAt(row);
    if (!job)
        return {};
    QStringList entries = job->LogList.mid(std::max<qsizetype>(0, job->LogList.size() - LogMenuSize));
    for (QString& entry : entries)
        entry.replace(u';', u':');
    return entries;
}

void TMainCommands::OpenLogEntry(int row, const QString& caption) {
    TJob* job = JobAt(row);
    if (!job || RefuseUnlessIdle(*job))
        return;
    OpenLogFile(*job, QString(caption).replace(u':', u';'));
}

void TMainCommands::ViewHistory(int row) {
    TJob* job = JobAt(row);
    if (!job || RefuseUnlessIdle(*job))
        return;
    const QString path = JoinPath(GlobalOptions().Logging.PathForLogFiles,
                                  QStringLiteral("history - ") + job->stJobName + QStringLiteral(".txt"));
    if (!WriteTextFileLines(path, job->BackupHistory)) {
        prompt_.ShowError(Translate(QStringLiteral("Unable to write the file:")) + u' ' + path);
        return;
    }
    viewer_.OpenReport(path, false);
}

int TMainCommands::MoveUp(int row) {
    return JobAt(row) && catalogue_.MoveUp(row) ? row - 1 : row;
}

int TMainCommands::MoveDown(int row) {
    return JobAt(row) && catalogue_.MoveDown(row) ? row + 1 : row;
}

QString TMainCommands::AboutText() {
    return QString::fromUtf16(ApplicationTitle) + u'\n' + Translate(QStringLiteral("Version:")) + u' ' +
           QString::fromUtf16(ApplicationVersion) + QStringLiteral("\n\n") +
           Translate(QStringLiteral("Website:")) + u' ' + QString::fromUtf16(MakerWebAddress);
}

void TMainCommands::About() {
    prompt_.ShowInformation(AboutText());
}

QString TMainCommands::UserGuideUrl() {
    return QString::fromUtf16(MakerWebAddress) + QStringLiteral("/redirect/tutorial-morvane-backup.html");
}

QString TMainCommands::SupportUrl() {
    return QString::fromUtf16(MakerWebAddress) + QStringLiteral("/support.html");
}

QString TMainCommands::WebsiteUrl() {
    return QString::fromUtf16(MakerWebAddress);
}

} // namespace morvane
