#pragma once

#include "control/new_version.h"
#include "control/program_closing.h"
#include "control/program_startup.h"
#include "scheduler/scheduler_tick.h"
#include "scheduler/shutdown_countdown.h"

#include <QIcon>

#include <functional>
#include <memory>

class QWidget;

namespace morvane {

class IUserPrompt;
class TJobsCatalogue;
class TScheduler;

// What the application asks of its main window. This file and its .cpp are the one place that
// knows which window classes the program uses.
class IDesktopWindow : public ISchedulerWindow,
                       public IMainWindowVisibility,
                       public IClosingWindow,
                       public IFirstShowActions {
public:
    struct THooks {
        std::function<void()> closeAttempt; // every attempt to close the window
        std::function<void()> quit;         // the Quit command
        std::function<void()> shown;        // every showing
        std::function<void()> endProgram;   // close without asking (the restart into recovery)
        std::function<bool()> jobsLent;     // a command-line tool works on the jobs meanwhile
    };

    virtual QWidget* Widget() = 0;
    // Start minimised (no notification area to hide into).
    virtual void ShowMinimised() = 0;
    // Without a notification area a close attempt minimises the window instead of hiding it.
    virtual void SetHideMinimises(bool minimise) = 0;
    // Every job object was replaced: rows must be built again.
    virtual void JobsReloaded() = 0;
    virtual void Translate() = 0;
};

struct TDesktopWindows {
    std::unique_ptr<IDesktopWindow> main;
    std::unique_ptr<IShutdownDialog> shutdownDialog;
};

// The message boxes and choosers every question to the user goes through; they exist before the
// windows so that start-up errors can be shown.
std::unique_ptr<IUserPrompt> CreateUserPrompt();

// Creates the main window and the dialogs, once; they live until the program ends.
TDesktopWindows CreateDesktopWindows(TJobsCatalogue& catalogue, IUserPrompt& prompt,
                                     std::function<TScheduler*()> scheduler, IDesktopWindow::THooks hooks);

// The password dialog of the configuration's protection; nothing when cancelled.
std::optional<QString> AskConfigurationPassword();

QIcon ProgramIcon();

// The "New Version" window over its controller, not yet shown.
std::unique_ptr<QWidget> CreateNewVersionWindow(TNewVersionController& controller);

// The desktop's "open" service (files to their program, addresses to the browser).
std::unique_ptr<IDesktopOpener> CreateDesktopOpener();

} // namespace morvane
