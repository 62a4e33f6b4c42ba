#pragma once

#include "control/import_dialog.h"
#include "control/off_thread.h"
#include "control/report_viewer.h"
#include "control/user_prompt.h"
#include "core/jobs_catalogue.h"
#include "engine/restore_dialogs.h"
#include "image/restore_guidance.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace morvane {

// The maker's web site, shown in the status bar and the About box and opened by the web commands.
inline constexpr char16_t MakerWebAddress[] = u"https://www.morvane.example";

// The run, log and help commands of the main window, on the user-interface thread. A command names
// its job by its row in the catalogue (-1: no job selected) and does nothing without one, except
// Pause All and Cancel All. Refusals and messages go through the prompt; log and history files open
// in the report viewer.
//
// Restoring reads the storage, which may take long: it runs on the job's worker thread and the flow
// comes back to this object's thread through its event loop (RestoreStepDone is emitted then).
// The catalogue, prompt, viewer, dialogs and guidance must outlive this object.
class TMainCommands final : public QObject {
    Q_OBJECT
public:
    // `busy` tells whether a scheduler tick is in progress (the scheduler's Busy()).
    TMainCommands(TJobsCatalogue& catalogue, IUserPrompt& prompt, IReportViewer& viewer,
                  TRestoreDialogs& restoreDialogs, TDriveImageRestoreGuidance& imageGuidance,
                  std::function<bool()> busy, QObject* parent = nullptr);
    ~TMainCommands() override;

    // The job is marked waiting; the next tick starts it.
    void Backup(int row);
    void Restore(int row);
    void Pause(int row);
    void Resume(int row);
    void Cancel(int row);
    void PauseAll();
    void CancelAll();

    // Opens the newest run log of the job.
    void ViewLog(int row);
    // The captions of the log drop-down: at most the 30 newest run logs, oldest first, with ":" for ";".
    QStringList LogMenuEntries(int row) const;
    // Opens the run log of a caption of LogMenuEntries.
    void OpenLogEntry(int row, const QString& caption);
    // Writes the job's history to its history file and opens it.
    void ViewHistory(int row);

    // Moves the job one place and returns its new row (the same row at the ends).
    int MoveUp(int row);
    int MoveDown(int row);

    // The catalogue commands (main_job_commands.cpp). Each asks through the prompt; storage work runs
    // on a worker and the command ends on this thread with CatalogueChanged.
    void SetImportDialog(IImportDialog* dialog) { importDialog_ = dialog; }
    // Asks for a storage copy (the dialog opens with `defaultPath`) and imports its job.
    void Import(const QString& defaultPath = QString());
    // Asks for a name and adds a copy of the job's settings under it.
    void Duplicate(int row);
    // Where Duplicate shows a files-and-folders job's settings for the copy (the job wizard): it gets the
    // source job, the checked name and the name as typed, and returns the copy's row or -1. Without it
    // the settings are copied as they are.
    using TFilesDuplicateEditor =
        std::function<int(const TJob_FilesAndFolders& source, const QString& name, const QString& typed)>;
    void SetFilesDuplicateEditor(TFilesDuplicateEditor editor) { filesDuplicateEditor_ = std::move(editor); }
    // Asks for a new name and renames the job, its storage folder and copy, log folder and job file.
    void Rename(int row);
    // Asks whether to remove the job, then whether to remove its backups too.
    void Remove(int row);
    // Removes the job with its backups without asking (the start with the remove switch).
    void RemoveWithoutConfirmation(int row);
    // True while an import is reading its storage copy.
    bool Importing() const { return importing_; }

    void About();
    static QString AboutText();
    static QString UserGuideUrl();
    static QString SupportUrl();
    static QString WebsiteUrl();

    // The newest run logs the drop-down offers.
    static constexpr int LogMenuSize = 30;

Q_SIGNALS:
    // A restore came back from reading the storage and went on to its next step.
    void RestoreStepDone();
    // A catalogue command changed the catalogue or a job's name; `row` is the row to select (-1: the
    // selection stays where it is). Emitted on this object's thread.
    void CatalogueChanged(int row);
    // A catalogue command that worked on a worker has ended (changed or not).
    void CatalogueCommandDone();

private:
    TJob* JobAt(int row) const;
    // Shows the refusal when the job is not idle or a tick is busy; true when refused.
    bool RefuseUnlessIdle(const TJob& job);
    bool RefuseWhileBusy();
    void Refuse();
    void OpenLogFile(const TJob& job, const QString& stem);
    void RestoreFilesAndFolders(TJob_FilesAndFolders& job);
    void RestoreDriveImage(TJob_DriveImage& job);
    // Removes the job's record (the job object goes) and says whether its backups stayed.
    void FinishRemove(TJob& job, bool folderRemoved);
    // Removes the backups on the job's worker, then the record.
    void RemoveWithBackups(TJob& job);
    // Runs `step` on the gate's object's thread, unless that object has gone by then. Any thread.
    static void PostToInterface(const std::shared_ptr<TPostGate>& gate, std::function<void()> step);

    TJobsCatalogue& catalogue_;
    IUserPrompt& prompt_;
    IReportViewer& viewer_;
    TRestoreDialogs& restoreDialogs_;
    TDriveImageRestoreGuidance& imageGuidance_;
    std::function<bool()> busy_;
    TFilesDuplicateEditor filesDuplicateEditor_;
    std::shared_ptr<TPostGate> gate_;
    IImportDialog* importDialog_ = nullptr;
    bool importing_ = false;
};

} // namespace morvane
