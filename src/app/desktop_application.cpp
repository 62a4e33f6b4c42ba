#include "app/desktop_application.h"

#include "app/session_end.h"
#include "control/user_prompt.h"
#include "core/instance_channel.h"
#include "core/program_setup.h"
#include "i18n/catalogue_loader.h"
#include "options/options.h"
#include "options/options_file.h"
#include "platform/desktop_notifications.h"
#include "platform/elevation.h"
#include "platform/power.h"
#include "platform/program_state.h"
#include "platform/settings_store.h"
#include "platform/special_folders.h"
#include "platform/system_effects.h"
#include "ui/tray_icon.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QSessionManager>
#include <QTextStream>
#include <QThread>

#include <cstdio>
#include <unistd.h>

namespace morvane {

namespace {

// How long an elevated start waits for the instance it replaces to end.
constexpr int ElevatedLockWaitMilliseconds = 10000;
constexpr int ForwardTimeoutMilliseconds = 10000;
constexpr int ForwardAttempts = 15;

QString ApplicationDirectoryOfThisUser() {
    InitProgramPaths();
    return Program().ApplicationDirectory;
}

void PrintError(const QString& text) {
    QTextStream(stderr) << text << '\n';
}

} // namespace

// The scheduler's window: the main window, then the run-end notices.
class TDesktopApplication::TTickWindow final : public ISchedulerWindow {
public:
    explicit TTickWindow(TDesktopApplication& application) : application_(application) {}
    void RefreshAfterTick(const TSchedulerCounts& counts) override {
        application_.windows_.main->RefreshAfterTick(counts);
        application_.AfterTick();
    }
    void CloseForElevatedInstance() override { application_.closing_->SessionEnding(); }

private:
    TDesktopApplication& application_;
};

TDesktopApplication::TDesktopApplication(const QStringList& arguments)
    : commandLine_(arguments), catalogue_(ApplicationDirectoryOfThisUser()) {}

TDesktopApplication::~TDesktopApplication() {
    if (scheduler_)
        scheduler_->Disable();
}

std::optional<int> TDesktopApplication::ClaimInstance() {
    Program().StartedElevated = commandLine_.StartedElevated();
    // The lock lives in the application directory: make it first (with its events line) on a first start.
    if (!QFileInfo::exists(Program().ApplicationDirectory)) {
        QString errorText;
        if (!morvane::PrepareApplicationDirectories(&errorText)) {
            PrintError(errorText);
            return 1;
        }
    }
    lock_.emplace(InstanceLockPath());
    if (lock_->Held())
        return std::nullopt;
    if (!lock_->Problem().isEmpty()) {
        PrintError(lock_->Problem());
        return 1;
    }
    if (Program().StartedElevated) {
        // An elevated restart is started by the instance that is ending: wait for it, but never let
        // two programs own the jobs.
        for (int waited = 0; waited < ElevatedLockWaitMilliseconds && !lock_->Held(); waited += 100) {
            QThread::msleep(100);
            lock_.emplace(InstanceLockPath());
        }
        if (lock_->Held())
            return std::nullopt;
    }
    TInstanceRequest request;
    if (commandLine_.FirstShowVerb() == TFirstShowVerb::Backup) {
        request.kind = TInstanceRequest::Kind::Command;
        request.arguments = {QStringLiteral("backup"), commandLine_.JobName()};
    } else if (!Program().StartedElevated && commandLine_.FirstArgumentIsJobFile()) {
        request.kind = TInstanceRequest::Kind::OpenJobFile;
        request.path = QFileInfo(commandLine_.FirstArgument()).absoluteFilePath();
    }
    // The running instance may still be starting: its socket comes a moment after its lock. Without
    // an answer (the lock's holder is the headless scheduler) this start ends silently.
    for (int attempt = 0; attempt < ForwardAttempts; ++attempt) {
        if (SendToRunningInstance(request, ForwardTimeoutMilliseconds))
            return 0;
        QThread::msleep(200);
    }
    const int64_t holder = TInstanceLock::HolderProcessId(InstanceLockPath());
    PrintError(QStringLiteral("Another Morvane Backup program of this user owns the jobs without a window") +
               (holder > 0 ? QStringLiteral(" (process %1)").arg(holder) : QString()) + u'.');
    return 0;
}

int TDesktopApplication::Run() {
    if (const std::optional<int> status = ClaimInstance())
        return *status;
    server_ = std::make_unique<TInstanceServer>(
        [this](const TInstanceRequest& request, TInstanceServer::TAnswer answer) {
            HandleRequest(request, std::move(answer));
        });
    if (!server_->Listen())
        PrintError(QStringLiteral("Unable to listen on ") + InstanceSocketPath() + QStringLiteral(": ") +
                   server_->ErrorText());

    // The interface language before any window exists.
    LoadCatalogue(FindDataFile(QStringLiteral("transl.dt")), SettingsStore(), SystemUiLanguagePrimaryId());
    QApplication::setWindowIcon(ProgramIcon());

    forwarded_ = std::make_unique<TForwardedCommands>(catalogue_, QCoreApplication::applicationDirPath() +
                                                                      QStringLiteral("/morvane-cli"));
    notices_ = std::make_unique<TRunEndNotices>(SessionNotifications());

    prompt_ = CreateUserPrompt();
    TProgramStartup startup(*this, *prompt_, commandLine_);
    if (!startup.Run())
        return 0;

    const bool trayAvailable = TTrayIcon::Available();
    windows_.main->SetHideMinimises(!trayAvailable);
    tray_ = std::make_unique<TTrayIcon>(ProgramIcon());
    connect(tray_.get(), &TTrayIcon::OpenRequested, this, &TDesktopApplication::ShowApplication);
    connect(tray_.get(), &TTrayIcon::QuitRequested, this, [this] { closing_->Quit(); });
    tray_->Show();

    termination_ = std::make_unique<TTerminationSignals>();
    connect(termination_.get(), &TTerminationSignals::Received, this, [this] { closing_->SessionEnding(); });
    auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    connect(application, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) { closing_->SessionEnding(); });
    connect(forwarded_.get(), &TForwardedCommands::JobsReloaded, this,
            [this] { windows_.main->JobsReloaded(); });

    if (commandLine_.Hide()) {
        if (!trayAvailable)
            windows_.main->ShowMinimised();
    } else {
        windows_.main->ShowWindow();
    }
    StartUpdateCheck();
    const int status = QApplication::exec();
    if (scheduler_)
        scheduler_->Disable();
    // Jobs that did not stop within the closing's wait are abandoned: their threads would keep the
    // job objects, and so the process, alive.
    if (AnyJobIsActive(AllJobs())) {
        std::fflush(nullptr);
        ::_exit(status);
    }
    return status;
}

void TDesktopApplication::StartUpdateCheck() {
    updateCheck_ = std::make_unique<TUpdateCheck>(LoadUpdateSettings(SettingsStore()));
    connect(updateCheck_.get(), &TUpdateCheck::Finished, this, [this] {
        if (updateCheck_->Offer() && !Program().ClosingRequested)
            ShowNewVersion(*updateCheck_->Offer());
    });
    updateCheck_->Start();
}

void TDesktopApplication::ShowNewVersion(const TUpdateOffer& offer) {
    opener_ = CreateDesktopOpener();
    newVersion_ = std::make_unique<TNewVersionController>(
        offer, updateCheck_->Settings(), GlobalOptions().General.PathForTempFiles, *prompt_, *opener_);
    // A forced update, or one that was started, ends the program when the window closes.
    connect(newVersion_.get(), &TNewVersionController::Closed, this, [this](bool goOn) {
        if (!goOn)
            closing_->SessionEnding();
    });
    newVersionWindow_ = CreateNewVersionWindow(*newVersion_);
    newVersionWindow_->show();
    newVersionWindow_->raise();
    newVersionWindow_->activateWindow();
}

void TDesktopApplication::HandleRequest(const TInstanceRequest& request,
                                        std::function<void(const TInstanceReply&)> answer) {
    switch (request.kind) {
    case TInstanceRequest::Kind::Show:
        answer({});
        ShowApplication();
        break;
    case TInstanceRequest::Kind::OpenJobFile:
        answer({});
        ShowApplication();
        // Other extensions are ignored; the file is opened even when the password was not given, as
        // the window's import command asks for nothing the protection guards.
        if (IsJobFilePath(request.path))
            windows_.main->ImportJobFile(request.path);
        break;
    case TInstanceRequest::Kind::Command:
        forwarded_->Run(request.arguments, request.directory, request.input,
                        [answer](const TCommandAnswer& result) {
                            answer({result.status, result.output, result.errors});
                        });
        break;
    }
}

void TDesktopApplication::ShowApplication() {
    if (!show_ || Program().ClosingRequested)
        return;
    show_->Show();
}

std::vector<TJob*> TDesktopApplication::AllJobs() const {
    std::vector<TJob*> jobs;
    for (int i = 0; i < catalogue_.Count(); ++i)
        jobs.push_back(&catalogue_.At(i));
    return jobs;
}

std::vector<TJob*> TDesktopApplication::JobsForScheduler() const {
    // While a command-line tool works on the jobs, nothing is started or saved.
    if (forwarded_ && forwarded_->JobsLent())
        return {};
    return AllJobs();
}

void TDesktopApplication::AfterTick() {
    notices_->AfterTick(AllJobs());
    // The window's language menu changes the catalogue; the tray's menu follows at the next tick.
    if (tray_ && Catalogue().CurrentLanguageIndex != trayLanguage_) {
        trayLanguage_ = Catalogue().CurrentLanguageIndex;
        tray_->Translate();
    }
}

bool TDesktopApplication::PrepareApplicationDirectories(QString* errorBoxText) {
    return morvane::PrepareApplicationDirectories(errorBoxText);
}

bool TDesktopApplication::LoadOptions() {
    TOptions& options = GlobalOptions();
    options = DefaultOptions();
    const bool loaded = morvane::LoadOptions(options);
    CopyCatalogueToOptions(options);
    return loaded;
}

void TDesktopApplication::ApplyDefaultOptions() {
    morvane::ApplyDefaultOptions(GlobalOptions());
    CopyCatalogueToOptions(GlobalOptions());
}

bool TDesktopApplication::FolderExists(const QString& path) {
    return QFileInfo(path).isDir();
}

bool TDesktopApplication::CreateFolder(const QString& path) {
    // The documents folder the default log folder lies in need not exist in a fresh home.
    return QDir().mkpath(path);
}

void TDesktopApplication::ApplyProcessPriority(int priority) {
    SetProcessPriority(priority);
}

bool TDesktopApplication::LoadJobs() {
    return catalogue_.LoadJobsListAndJobs();
}

void TDesktopApplication::CreateWindows() {
    IDesktopWindow::THooks hooks;
    hooks.closeAttempt = [this] {
        closing_->CloseQuery();
    };
    hooks.quit = [this] {
        closing_->Quit();
    };
    hooks.shown = [this] {
        firstShow_->OnShow(scheduler_->IsEnabled());
    };
    hooks.endProgram = [this] {
        closing_->SessionEnding();
    };
    hooks.jobsLent = [this] {
        return forwarded_ && forwarded_->JobsLent();
    };
    TDesktopWindows created = CreateDesktopWindows(
        catalogue_, *prompt_, [this] { return scheduler_.get(); }, hooks);
    windows_.main = std::move(created.main);
    windows_.shutdownDialog = std::move(created.shutdownDialog);
    tickWindow_ = std::make_unique<TTickWindow>(*this);
    scheduler_ =
        std::make_unique<TScheduler>([this] { return JobsForScheduler(); },
                                     TSchedulerServices{starter_, *tickWindow_, *windows_.shutdownDialog,
                                                        SystemPowerControl(), SystemElevation()},
                                     commandLine_.Hide());
    closing_ = std::make_unique<TProgramClosing>([this] { return AllJobs(); }, *windows_.main, *prompt_);
    show_ = std::make_unique<TShowApplication>(*windows_.main, *this, *prompt_);
    firstShow_ = std::make_unique<TFirstShow>(commandLine_, catalogue_, *windows_.main, *this);
}

void TDesktopApplication::EnableScheduler() {
    scheduler_->Enable();
}

std::optional<QString> TDesktopApplication::AskPassword() {
    return AskConfigurationPassword();
}

} // namespace morvane
