#include "control/program_startup.h"

#include "control/user_prompt.h"
#include "core/jobs_catalogue.h"
#include "formats/events_log.h"
#include "i18n/translation.h"
#include "options/options.h"
#include "platform/program_state.h"

namespace morvane {

bool PasswordAdmits(IStartupEffects& effects, IUserPrompt& prompt) {
    const TGeneralOptions& general = GlobalOptions().General;
    if (!general.ProtectConfigurationbyPassword)
        return true;
    const std::optional<QString> typed = effects.AskPassword();
    if (!typed)
        return false;
    if (TJobsCatalogue::TrimName(*typed) != general.strProtectConfiguration_Password) {
        prompt.ShowError(Translate(QStringLiteral("Invalid password")));
        return false;
    }
    return true;
}

TProgramStartup::TProgramStartup(IStartupEffects& effects, IUserPrompt& prompt,
                                 const TCommandLine& commandLine)
    : effects_(effects), prompt_(prompt), commandLine_(commandLine) {}

void TProgramStartup::PrepareFolder(const QString& path, const QString& createdText,
                                    const QString& errorText) {
    if (path.isEmpty() || effects_.FolderExists(path))
        return;
    if (effects_.CreateFolder(path)) {
        AddToEventsLog(Translate(createdText) + u' ' + path);
        return;
    }
    AddToEventsLog(Translate(errorText) + u' ' + path);
    prompt_.ShowError(
        Translate(errorText) + path + QStringLiteral("\r\n\r\n") +
        Translate(QStringLiteral("Please make sure the directory is accessible, and restart the program.")));
}

bool TProgramStartup::Run() {
    QString errorBoxText;
    if (!effects_.PrepareApplicationDirectories(&errorBoxText)) {
        Program().ClosingRequested = true;
        prompt_.ShowError(errorBoxText);
        return false;
    }
    if (!effects_.LoadOptions())
        effects_.ApplyDefaultOptions();
    const TOptions& options = GlobalOptions();
    PrepareFolder(options.General.PathForTempFiles, TR_NOOP("Temporary directory is created:"),
                  TR_NOOP("ERROR: Unable to create temporary directory:"));
    PrepareFolder(options.Logging.PathForLogFiles, TR_NOOP("Log directory is created:"),
                  TR_NOOP("ERROR: Unable to create log directory:"));
    effects_.ApplyProcessPriority(options.General.ProcessPriority);
    if (effects_.LoadJobs())
        AddToEventsLog(Translate(QStringLiteral("Backup jobs are loaded.")));
    // Hidden, the window's first showing will not come soon to start the scheduler.
    const bool hide = commandLine_.Hide();
    effects_.CreateWindows();
    if (hide)
        effects_.EnableScheduler();
    if (Program().ClosingRequested)
        return false;
    if (!hide && !PasswordAdmits(effects_, prompt_))
        return false;
    return true;
}

TFirstShow::TFirstShow(const TCommandLine& commandLine, TJobsCatalogue& catalogue, IFirstShowActions& actions,
                       IStartupEffects& effects)
    : commandLine_(commandLine), catalogue_(catalogue), actions_(actions), effects_(effects) {}

void TFirstShow::OnShow(bool schedulerEnabled) {
    if (done_)
        return;
    done_ = true;
    const QString name = commandLine_.JobName();
    switch (commandLine_.FirstShowVerb()) {
    case TFirstShowVerb::Restore:
        for (int i = 0; i < catalogue_.Count(); ++i) {
            if (catalogue_.At(i).stJobName == name)
                actions_.StartRestore(catalogue_.At(i));
        }
        break;
    case TFirstShowVerb::Backup:
        for (int i = 0; i < catalogue_.Count(); ++i) {
            TJob& job = catalogue_.At(i);
            // A job that runs already is left alone: it would otherwise be started twice.
            if (job.stJobName == name && job.JobStatus == jsNone)
                job.JobStatus = jsWaiting;
        }
        break;
    case TFirstShowVerb::Remove: {
        const int index = catalogue_.IndexOfExactName(name);
        if (index >= 0)
            actions_.RemoveWithoutConfirmation(index);
        break;
    }
    case TFirstShowVerb::ImportJobFile:
        actions_.ImportJobFile(commandLine_.FirstArgument());
        break;
    case TFirstShowVerb::None:
        break;
    }
    if (!schedulerEnabled)
        effects_.EnableScheduler();
}

TShowApplication::TShowApplication(IMainWindowVisibility& window, IStartupEffects& effects,
                                   IUserPrompt& prompt)
    : window_(window), effects_(effects), prompt_(prompt) {}

bool TShowApplication::Show() {
    if (window_.IsShowing())
        return true;
    if (asking_)
        return false;
    asking_ = true;
    const bool admitted = PasswordAdmits(effects_, prompt_);
    asking_ = false;
    if (admitted)
        window_.ShowWindow();
    return admitted;
}

} // namespace morvane
