#pragma once

#include "app/main_window_link.h"
#include "control/command_line.h"
#include "control/forwarded_commands.h"
#include "control/new_version.h"
#include "control/program_closing.h"
#include "control/program_startup.h"
#include "control/run_end_notices.h"
#include "core/jobs_catalogue.h"
#include "platform/instance_lock.h"
#include "scheduler/job_starter.h"
#include "scheduler/scheduler_tick.h"

#include <QObject>
#include <QWidget>

#include <memory>
#include <optional>

namespace morvane {

class TInstanceServer;
class TTerminationSignals;
class TTrayIcon;
struct TInstanceRequest;
struct TInstanceReply;

// The desktop program: one instance per user, its windows, tray icon, scheduler and the requests of
// second starts and of the command-line tool.
class TDesktopApplication : public QObject, public IStartupEffects {
    Q_OBJECT
public:
    explicit TDesktopApplication(const QStringList& arguments);
    ~TDesktopApplication() override;

    // Runs the program; the process's exit status.
    int Run();

private:
    // Becomes the running instance, or hands the command line to the one that runs. Nothing when
    // this process is to go on as the running instance, else the exit status.
    std::optional<int> ClaimInstance();
    void HandleRequest(const TInstanceRequest& request, std::function<void(const TInstanceReply&)> answer);
    void ShowApplication();
    std::vector<TJob*> JobsForScheduler() const;
    std::vector<TJob*> AllJobs() const;
    void AfterTick();
    // Asks the update server in the background; the "New Version" window shows when an offer comes.
    void StartUpdateCheck();
    void ShowNewVersion(const TUpdateOffer& offer);

    // IStartupEffects
    bool PrepareApplicationDirectories(QString* errorBoxText) override;
    bool LoadOptions() override;
    void ApplyDefaultOptions() override;
    bool FolderExists(const QString& path) override;
    bool CreateFolder(const QString& path) override;
    void ApplyProcessPriority(int priority) override;
    bool LoadJobs() override;
    void CreateWindows() override;
    void EnableScheduler() override;
    std::optional<QString> AskPassword() override;

    TCommandLine commandLine_;
    std::optional<TInstanceLock> lock_;
    std::unique_ptr<TInstanceServer> server_;
    TJobsCatalogue catalogue_;
    TJobStarter starter_;
    std::unique_ptr<TForwardedCommands> forwarded_;
    std::unique_ptr<TRunEndNotices> notices_;
    std::unique_ptr<IUserPrompt> prompt_;
    TDesktopWindows windows_;
    class TTickWindow;
    std::unique_ptr<TTickWindow> tickWindow_;
    std::unique_ptr<TScheduler> scheduler_;
    std::unique_ptr<TProgramClosing> closing_;
    std::unique_ptr<TShowApplication> show_;
    std::unique_ptr<TFirstShow> firstShow_;
    std::unique_ptr<TTrayIcon> tray_;
    int trayLanguage_ = -1;
    std::unique_ptr<TTerminationSignals> termination_;
    std::unique_ptr<TUpdateCheck> updateCheck_;
    std::unique_ptr<IDesktopOpener> opener_;
    std::unique_ptr<TNewVersionController> newVersion_;
    std::unique_ptr<QWidget> newVersionWindow_;
};

} // namespace morvane
