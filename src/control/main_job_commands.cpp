// The main window's catalogue commands: import, duplicate, rename and remove.

#include "control/import_dialog.h"
#include "control/main_commands.h"

#include "core/job_commands.h"
#include "core/job_import.h"
#include "i18n/translation.h"

#include <QFileInfo>
#include <QThreadPool>

namespace morvane {

bool ImportPathAccepted(const QString& path) {
    return path.contains(QStringLiteral(".bmj"));
}

QString ImportPathRefusal() {
    return FormatText(Translate(QStringLiteral("Click \"Browse...\" and find the job file %s.")),
                      {QStringLiteral("*.bmj")});
}

void TMainCommands::Import(const QString& defaultPath) {
    if (!importDialog_)
        return;
    // One storage copy is read at a time: a second one of the same name would pass the name check.
    if (importing_) {
        Refuse();
        return;
    }
    if (RefuseWhileBusy())
        return;
    const std::optional<TImportChoice> choice = importDialog_->AskImport(defaultPath);
    if (!choice)
        return;
    const std::optional<QString> typed = JobNameOfStorageCopy(choice->Path);
    if (!typed) {
        prompt_.ShowError(ImportPathRefusal());
        return;
    }
    const TJobNameResult checked = CheckJobName(catalogue_, *typed);
    if (checked.Check != JobNameCheck::Ok) {
        if (!checked.Message.isEmpty())
            prompt_.ShowError(checked.Message);
        return;
    }
    importing_ = true;
    const QString name = checked.Name;
    QThreadPool::globalInstance()->start([this, gate = gate_, choice = *choice, name] {
        auto imported = std::make_shared<TImportedJob>(
            ImportJobFromStorage(choice.Path, name, choice.NetworkUser, choice.NetworkPassword));
        // `this` is used only by the posted step, which runs only while this object exists.
        PostToInterface(gate, [this, imported, name] {
            importing_ = false;
            // The jobs may have been handed to a command-line tool while the copy was read.
            if (RefuseWhileBusy()) {
                Q_EMIT CatalogueCommandDone();
                return;
            }
            // A job of that name may have come into being while the copy was read.
            if (const TJobNameResult again = CheckJobName(catalogue_, name);
                again.Check != JobNameCheck::Ok) {
                prompt_.ShowError(again.Message);
                Q_EMIT CatalogueCommandDone();
                return;
            }
            const TJobCommandResult result = AddImportedJob(catalogue_, std::move(*imported), name);
            if (result.Job)
                Q_EMIT CatalogueChanged(catalogue_.IndexOfExactName(name));
            if (result.Outcome == JobCommandOutcome::Failed ||
                result.Outcome == JobCommandOutcome::JobFileNotSaved)
                prompt_.ShowError(result.Message);
            Q_EMIT CatalogueCommandDone();
        });
    });
}

void TMainCommands::Duplicate(int row) {
    TJob* job = JobAt(row);
    if (!job || RefuseUnlessIdle(*job))
        return;
    const std::optional<QString> typed =
        prompt_.AskText(Translate(QStringLiteral("Duplicate")), Translate(QStringLiteral("Duplicate name:")),
                        NextDuplicateName(catalogue_, job->stJobName), false);
    if (!typed)
        return;
    const TJobNameResult checked = CheckJobName(catalogue_, *typed);
    if (checked.Check != JobNameCheck::Ok) {
        if (!checked.Message.isEmpty())
            prompt_.ShowError(checked.Message);
        return;
    }
    if (RefuseUnlessIdle(*job) || RefuseWhileBusy())
        return;
    if (auto* files = dynamic_cast<TJob_FilesAndFolders*>(job); files && filesDuplicateEditor_) {
        if (const int added = filesDuplicateEditor_(*files, checked.Name, *typed); added >= 0)
            Q_EMIT CatalogueChanged(added);
        return;
    }
    const TJobCommandResult result = DuplicateJob(catalogue_, *job, checked.Name, *typed);
    if (result.Job)
        Q_EMIT CatalogueChanged(catalogue_.Count() - 1);
    if (result.Outcome == JobCommandOutcome::JobFileNotSaved)
        prompt_.ShowError(result.Message);
}

void TMainCommands::Rename(int row) {
    TJob* job = JobAt(row);
    if (!job || RefuseUnlessIdle(*job))
        return;
    const std::optional<QString> typed =
        prompt_.AskText(Translate(QStringLiteral("Rename Job")), Translate(QStringLiteral("New job name:")),
                        job->stJobName, false);
    if (!typed)
        return;
    const TRenameCheck check = CheckRename(catalogue_, *job, *typed);
    if (!check.Message.isEmpty()) {
        prompt_.ShowError(check.Message);
        return;
    }
    if (!check.Proceed || RefuseUnlessIdle(*job) || RefuseWhileBusy())
        return;
    job->OptionsToJobOptions();
    // Running, so the scheduler and the other commands leave the job alone until its name has changed.
    job->JobOperation = joRename;
    job->JobStatus = jsRunning;
    const QString directory = QFileInfo(catalogue_.JobFilePath(job->stJobName)).absolutePath();
    job->StartWorker([this, gate = gate_, job, name = check.Name, directory] {
        auto steps = std::make_shared<TRenameSteps>(ChangeName(*job, name, directory));
        PostToInterface(gate, [this, job, name, steps] {
            const TJobCommandResult result = FinishRename(catalogue_, *job, name, *steps);
            job->JobStatus = jsNone;
            Q_EMIT CatalogueChanged(-1);
            if (result.Outcome == JobCommandOutcome::Failed)
                prompt_.ShowError(result.Message);
            Q_EMIT CatalogueCommandDone();
        });
    });
}

void TMainCommands::Remove(int row) {
    TJob* job = JobAt(row);
    if (!job || RefuseUnlessIdle(*job))
        return;
    if (!prompt_.Confirm(
            FormatText(Translate(QStringLiteral("Remove the record for backup job %s?")), {job->stJobName})))
        return;
    if (RefuseUnlessIdle(*job) || RefuseWhileBusy())
        return;
    if (!prompt_.Confirm(Translate(
            QStringLiteral("Do you want also to remove the backup folder with all its contents?")))) {
        FinishRemove(*job, true);
        return;
    }
    RemoveWithBackups(*job);
}

void TMainCommands::RemoveWithoutConfirmation(int row) {
    TJob* job = JobAt(row);
    if (!job || RefuseUnlessIdle(*job) || RefuseWhileBusy())
        return;
    RemoveWithBackups(*job);
}

void TMainCommands::RemoveWithBackups(TJob& target) {
    TJob* job = &target;
    job->JobOperation = joRemove;
    job->JobStatus = jsRunning;
    job->StartWorker([this, gate = gate_, job] {
        const bool removed = RemoveBackupFolder(*job);
        PostToInterface(gate, [this, job, removed] {
            job->JobStatus = jsNone;
            FinishRemove(*job, removed);
            Q_EMIT CatalogueCommandDone();
        });
    });
}

void TMainCommands::FinishRemove(TJob& job, bool folderRemoved) {
    const int row = catalogue_.IndexOfExactName(job.stJobName);
    const TJobCommandResult result = RemoveJobRecord(catalogue_, job, folderRemoved);
    // The window lets go of the job object before any message box lets it paint again.
    Q_EMIT CatalogueChanged(std::min(row, catalogue_.Count() - 1));
    if (result.Outcome == JobCommandOutcome::Failed)
        prompt_.ShowError(result.Message);
}

} // namespace morvane
