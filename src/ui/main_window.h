#pragma once

#include "control/command_state.h"
#include "control/events_model.h"
#include "control/job_rows_model.h"
#include "control/main_commands.h"
#include "control/options_dialog.h"
#include "control/status_bar_texts.h"
#include "platform/settings_store.h"
#include "scheduler/scheduler_tick.h"

#include <QMainWindow>
#include <QUrl>

#include <functional>
#include <memory>

class QAction;
class QActionGroup;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QSplitter;
class QTableView;
class QToolButton;

namespace morvane {

class TJobRowDelegate;
class TfrmOpenJobDialog;
class TfrmOptions;
class TJobWizardCommands;
class TWizardWindows;

// The main window: the job list with its run, log and help commands, the events panel and the status
// bar. It is thin: rows come from TJobRowsModel, commands are TMainCommands, and everything is
// refreshed by the scheduler's tick through ISchedulerWindow.
//
// New Job and Settings open the job wizards (TJobWizardCommands); Import, Duplicate, Rename and Remove
// are TMainCommands' catalogue commands; Options opens TfrmOptions through TOptionsCommand. Quit only
// asks (QuitRequested); the application decides.
class TfrmMainOrvellaBackup final : public QMainWindow, public ISchedulerWindow {
    Q_OBJECT
public:
    // Everything passed in must outlive the window. `busy` is the scheduler's Busy(). `settings` keeps
    // the window placement and the interface language.
    TfrmMainOrvellaBackup(TJobsCatalogue& catalogue, IUserPrompt& prompt, IReportViewer& viewer,
                          TRestoreDialogs& restoreDialogs, TDriveImageRestoreGuidance& imageGuidance,
                          std::function<bool()> busy, SettingsStore settings = SettingsStore(),
                          QWidget* parent = nullptr);
    ~TfrmMainOrvellaBackup() override;

    // ISchedulerWindow: events, rows, command state and counters, once per tick.
    void RefreshAfterTick(const TSchedulerCounts& counts) override;
    void CloseForElevatedInstance() override;

    // Asked on every close attempt (after the placement is saved): true lets the window close, false
    // hides it instead. Without a query the window hides.
    void setCloseQuery(std::function<bool()> query) { closeQuery_ = std::move(query); }
    // Opens the web pages; QDesktopServices by default.
    void setUrlOpener(std::function<void(const QUrl&)> opener) { urlOpener_ = std::move(opener); }

    // Sets every fixed caption in the current interface language.
    void TranslateInterface();
    // Adds one checkable item per catalogue language to the Language menu.
    void UpdateLanguageMenu();
    // Applies the stored placement (at creation) and stores the present one (on every close attempt).
    void LoadFormPosAndView();
    void SaveFormPosAndView();
    // Moves the pending events into the panel and trims it.
    void FlushEventsLog();
    // Adds a line to the events panel as it is, without a time stamp.
    void AppendEventsLine(const QString& line);

    // The selected job's row, or -1.
    int SelectedRow() const;
    void SelectRow(int row);

    TMainCommands& Commands() { return *commands_; }
    TfrmOpenJobDialog* OpenJobDialog() const { return openJobDialog_; }
    TfrmOptions* OptionsWindow() const { return optionsWindow_; }
    TOptionsCommand& OptionsCommand() { return *optionsCommand_; }
    // The dialogs of New Job and Settings.
    TWizardWindows& WizardWindows() { return *wizardWindows_; }
    TJobRowsModel& JobRows() { return *rows_; }
    const TEventsModel& Events() const { return events_; }
    QTableView* JobsList() const { return lbJobsList; }
    QMenu* LanguageMenu() const { return mmLanguage; }

    // The commands, for menus, tool bar, tray and tests.
    QAction* ActionNewJob = nullptr;
    QAction* ActionOpen = nullptr;
    QAction* ActionProperties = nullptr;
    QAction* ActionDuplicate = nullptr;
    QAction* ActionRename = nullptr;
    QAction* ActionRemove = nullptr;
    QAction* ActionBackup = nullptr;
    QAction* ActionRestore = nullptr;
    QAction* ActionPause = nullptr;  // carries Resume while the selected job is paused
    QAction* ActionResume = nullptr; // the list menu's and tests' own Resume
    QAction* ActionCancel = nullptr;
    QAction* ActionPauseAll = nullptr;
    QAction* ActionCancelAll = nullptr;
    QAction* ActionViewLog = nullptr;
    QAction* ActionViewHistory = nullptr;
    QAction* ActionOptions = nullptr;
    QAction* ActionUserGuide = nullptr;
    QAction* ActionSupport = nullptr;
    QAction* ActionWebsite = nullptr;
    QAction* ActionAbout = nullptr;
    QAction* ActionMinimize = nullptr;
    QAction* ActionQuit = nullptr;
    QAction* ActionMoveUp = nullptr;
    QAction* ActionMoveDown = nullptr;
    QAction* Create1 = nullptr;

Q_SIGNALS:
    void NewJobRequested();
    void SettingsRequested(int row);
    void OptionsRequested();
    void QuitRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateCentralArea();
    void CreateStatusBar();
    void ConnectCommands();
    std::vector<TJob*> Jobs() const;
    void RefreshRows();
    void ApplyCommandState();
    void ShowStatusTexts();
    void ShowListMenu(const QPoint& position);
    void FillLogMenu();
    void SetInterfaceLanguage(int index);
    void MoveSelected(bool up);
    void OpenUrl(const QString& url);

    TJobsCatalogue& catalogue_;
    IUserPrompt& prompt_;
    SettingsStore settings_;
    TMainCommands* commands_ = nullptr;
    TfrmOpenJobDialog* openJobDialog_ = nullptr;
    TfrmOptions* optionsWindow_ = nullptr;
    std::unique_ptr<TOptionsCommand> optionsCommand_;
    std::unique_ptr<TWizardWindows> wizardWindows_;
    std::unique_ptr<TJobWizardCommands> wizardCommands_;
    TJobRowsModel* rows_ = nullptr;
    TJobRowDelegate* delegate_ = nullptr;
    TEventsModel events_;
    TStatusBarTexts statusTexts_;
    TCommandState commandState_;
    std::function<bool()> closeQuery_;
    std::function<void(const QUrl&)> urlOpener_;

    QMenu* File1 = nullptr;
    QMenu* Edit1 = nullptr;
    QMenu* Run1 = nullptr;
    QMenu* ools1 = nullptr;
    QMenu* Help1 = nullptr;
    QMenu* mmLanguage = nullptr;
    QActionGroup* languageGroup_ = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QMenu* PopupMenu2 = nullptr;
    QMenu* PopupMenu4 = nullptr;
    QMenu* PopupMenuLog = nullptr;
    QAction* recentLogs_ = nullptr;
    bool contextMenuByMouse_ = true;
    QToolButton* btCreate = nullptr;
    QToolButton* btViewLog = nullptr;
    QToolButton* btAbout = nullptr;
    QTableView* lbJobsList = nullptr;
    QToolButton* sbtMoveUp = nullptr;
    QToolButton* sbtMoveDown = nullptr;
    QSplitter* splitter_ = nullptr;
    QLabel* Label2 = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QLabel* statusJobs_ = nullptr;
    QLabel* statusRunning_ = nullptr;
    QLabel* statusCancelled_ = nullptr;
    QLabel* statusWeb_ = nullptr;
};

} // namespace morvane
