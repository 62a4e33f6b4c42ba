#pragma once

#include "control/command_line.h"

#include <QString>

#include <optional>

namespace morvane {

class IUserPrompt;
class TJob;
class TJobsCatalogue;

// The effects of starting the desktop program, in the order the start-up calls them; the program
// implements them with the real folders, files and windows, tests record them.
class IStartupEffects {
public:
    virtual ~IStartupEffects() = default;
    // Both application directories; on failure the text of the error box.
    virtual bool PrepareApplicationDirectories(QString* errorBoxText) = 0;
    // Fills the global options from the options file; false when there is none or it is unreadable.
    virtual bool LoadOptions() = 0;
    virtual void ApplyDefaultOptions() = 0;
    virtual bool FolderExists(const QString& path) = 0;
    // Creates the folder, with missing parents; false on failure.
    virtual bool CreateFolder(const QString& path) = 0;
    virtual void ApplyProcessPriority(int priority) = 0;
    // The jobs list and the jobs; false when there is no list or it could not be read.
    virtual bool LoadJobs() = 0;
    // The main window first, then the dialogs; each is created once and reused until the end.
    virtual void CreateWindows() = 0;
    virtual void EnableScheduler() = 0;
    // The password dialog, modal; nothing when cancelled.
    virtual std::optional<QString> AskPassword() = 0;
};

// Asks for the configuration's password when it is protected. True when the program may show its
// window: not protected, or the typed text (trimmed of blanks and control characters) matches
// exactly. A wrong password is reported with "Invalid password".
bool PasswordAdmits(IStartupEffects& effects, IUserPrompt& prompt);

// The desktop program's start-up, from the application directories to the password prompt.
class TProgramStartup {
public:
    TProgramStartup(IStartupEffects& effects, IUserPrompt& prompt, const TCommandLine& commandLine);

    // False when the program is to end without showing anything.
    bool Run();

private:
    void PrepareFolder(const QString& path, const QString& createdText, const QString& errorText);

    IStartupEffects& effects_;
    IUserPrompt& prompt_;
    TCommandLine commandLine_;
};

// What the verbs of the first showing do beyond changing a job's status.
class IFirstShowActions {
public:
    virtual ~IFirstShowActions() = default;
    virtual void StartRestore(TJob& job) = 0;
    // Removes the job's backup folder and its record without asking (Remove verb).
    virtual void RemoveWithoutConfirmation(int jobIndex) = 0;
    // The import dialog with this file preselected.
    virtual void ImportJobFile(const QString& path) = 0;
};

// The first showing of the main window performs the command line's verb, once per process, then
// the scheduler runs.
class TFirstShow {
public:
    TFirstShow(const TCommandLine& commandLine, TJobsCatalogue& catalogue, IFirstShowActions& actions,
               IStartupEffects& effects);
    // Called on every showing; acts on the first only.
    void OnShow(bool schedulerEnabled);
    bool Done() const { return done_; }

private:
    TCommandLine commandLine_;
    TJobsCatalogue& catalogue_;
    IFirstShowActions& actions_;
    IStartupEffects& effects_;
    bool done_ = false;
};

// The window as the show command sees it.
class IMainWindowVisibility {
public:
    virtual ~IMainWindowVisibility() = default;
    virtual bool IsShowing() const = 0;
    virtual void ShowWindow() = 0;
};

// Opens the main window from the tray, the tray menu's "Open" and a second start's request: through
// the password prompt when the configuration is protected; nothing while it shows or the prompt is
// already open.
class TShowApplication {
public:
    TShowApplication(IMainWindowVisibility& window, IStartupEffects& effects, IUserPrompt& prompt);
    // True when the window shows afterwards.
    bool Show();

private:
    IMainWindowVisibility& window_;
    IStartupEffects& effects_;
    IUserPrompt& prompt_;
    bool asking_ = false;
};

} // namespace morvane
