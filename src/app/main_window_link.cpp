// The windows the desktop program is built with: the main window first, then the dialogs its
// commands open; all are created once and reused until the program ends.

#include "app/main_window_link.h"

#include "core/jobs_catalogue.h"
#include "platform/power.h"
#include "platform/program_state.h"
#include "scheduler/scheduler_tick.h"
#include "ui/application_icon.h"
#include "ui/enter_password.h"
#include "ui/log_viewer.h"
#include "ui/main_window.h"
#include "ui/new_version_window.h"
#include "ui/restore/drive_image_guidance.h"
#include "ui/restore/restore_list.h"
#include "ui/shutdown_dialog.h"
#include "ui/widget_prompt.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

namespace morvane {

namespace {

TfrmEnterPassword* passwordWindow = nullptr;

// The main window as the application drives it, with the dialogs its commands open.
class TMainWindowLink final : public QObject, public IDesktopWindow {
public:
    TMainWindowLink(TJobsCatalogue& catalogue, IUserPrompt& prompt, std::function<TScheduler*()> scheduler,
                    THooks hooks)
        : catalogue_(catalogue), hooks_(std::move(hooks)), log_(prompt), restoreDialogs_(chooser_, prompt),
          guidance_(SystemPowerControl(), prompt, [this] { hooks_.endProgram(); }),
          // The window's commands wait while a tick runs, and while a command-line tool has the jobs.
          window_(catalogue, prompt, log_, restoreDialogs_, guidance_, [this, scheduler] {
              const TScheduler* running = scheduler();
              return (running != nullptr && running->Busy()) || (hooks_.jobsLent && hooks_.jobsLent());
          }) {
        window_.setWindowIcon(ApplicationIcon());
        window_.setWindowTitle(QString::fromUtf16(ApplicationTitle) + u' ' +
                               QString::fromUtf16(ApplicationVersion));
        window_.setCloseQuery([this] {
            if (finishing_)
                return true;
            hooks_.closeAttempt();
            // The window hides itself after a refused close; without a notification area it goes
            // to the task bar instead.
            if (hideMinimises_ && !finishing_)
                QTimer::singleShot(0, &window_, [this] { window_.showMinimized(); });
            return finishing_;
        });
        connect(&window_, &TfrmMainOrvellaBackup::QuitRequested, this, [this] { hooks_.quit(); });
        window_.installEventFilter(this);
        passwordWindow = &password_;
    }
    ~TMainWindowLink() override { passwordWindow = nullptr; }

    QWidget* Widget() override { return &window_; }
    void ShowMinimised() override { window_.showMinimized(); }
    void SetHideMinimises(bool minimise) override { hideMinimises_ = minimise; }
    void JobsReloaded() override {
        if (Program().ClosingRequested)
            return;
        std::vector<TJob*> jobs;
        for (int i = 0; i < catalogue_.Count(); ++i)
            jobs.push_back(&catalogue_.At(i));
        window_.JobRows().Refresh(jobs);
    }
    void Translate() override { window_.TranslateInterface(); }

    void RefreshAfterTick(const TSchedulerCounts& counts) override { window_.RefreshAfterTick(counts); }
    void CloseForElevatedInstance() override { window_.CloseForElevatedInstance(); }

    bool IsShowing() const override { return window_.isVisible() && !window_.isMinimized(); }
    void ShowWindow() override {
        window_.showNormal();
        window_.raise();
        window_.activateWindow();
    }

    void SaveFormPosAndView() override { window_.SaveFormPosAndView(); }
    // The window hides itself when its close is refused.
    void HideWindow() override {}
    void AppendEventsLine(const QString& line) override { window_.AppendEventsLine(line); }
    void FinishClose() override {
        finishing_ = true;
        window_.close();
        QApplication::quit();
    }

    void StartRestore(TJob& job) override {
        for (int row = 0; row < catalogue_.Count(); ++row) {
            if (&catalogue_.At(row) == &job)
                window_.Commands().Restore(row);
        }
    }
    void RemoveWithoutConfirmation(int row) override { window_.Commands().RemoveWithoutConfirmation(row); }
    void ImportJobFile(const QString& path) override { window_.Commands().Import(path); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &window_ && event->type() == QEvent::Show)
            hooks_.shown();
        return QObject::eventFilter(watched, event);
    }

private:
    TJobsCatalogue& catalogue_;
    THooks hooks_;
    TfrmLog log_;
    TfrmRestoreList chooser_;
    TWidgetRestoreDialogs restoreDialogs_;
    TfrmRestore_DriveImage guidance_;
    TfrmMainOrvellaBackup window_;
    TfrmEnterPassword password_;
    bool finishing_ = false;
    bool hideMinimises_ = false;
};

// The shutdown warning; it reaches the scheduler's countdown, which exists only after the windows.
class TShutdownWarning final : public IShutdownDialog {
public:
    explicit TShutdownWarning(std::function<TScheduler*()> scheduler) : scheduler_(std::move(scheduler)) {}
    void ShowShutdownMessage(const QString& message) override {
        if (TScheduler* scheduler = scheduler_())
            dialog_.SetCountdown(&scheduler->Countdown());
        dialog_.ShowShutdownMessage(message);
    }
    void CloseShutdownDialog() override { dialog_.CloseShutdownDialog(); }

private:
    std::function<TScheduler*()> scheduler_;
    TfrmPCshutdownDialog dialog_;
};

} // namespace

TDesktopWindows CreateDesktopWindows(TJobsCatalogue& catalogue, IUserPrompt& prompt,
                                     std::function<TScheduler*()> scheduler, IDesktopWindow::THooks hooks) {
    TDesktopWindows windows;
    windows.main = std::make_unique<TMainWindowLink>(catalogue, prompt, scheduler, std::move(hooks));
    windows.shutdownDialog = std::make_unique<TShutdownWarning>(std::move(scheduler));
    return windows;
}

std::unique_ptr<IUserPrompt> CreateUserPrompt() {
    return std::make_unique<TWidgetPrompt>();
}

std::optional<QString> AskConfigurationPassword() {
    if (passwordWindow == nullptr)
        return std::nullopt;
    return passwordWindow->EnterPassword();
}

QIcon ProgramIcon() {
    return ApplicationIcon();
}

std::unique_ptr<QWidget> CreateNewVersionWindow(TNewVersionController& controller) {
    return std::make_unique<TfrmNewVersion>(controller);
}

std::unique_ptr<IDesktopOpener> CreateDesktopOpener() {
    return std::make_unique<TDesktopOpener>();
}

} // namespace morvane
