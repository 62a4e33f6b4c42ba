#include "control/options_dialog.h"

#include "control/configuration_password.h"
#include "control/user_prompt.h"
#include "i18n/translation.h"
#include "options/options.h"
#include "options/options_file.h"
#include "platform/system_effects.h"

#include <QDir>
#include <QFileInfo>

namespace morvane {

namespace {

// A relative path would depend on the folder the program happened to start in.
bool IsExistingFolder(const QString& path) {
    return !path.isEmpty() && QDir::isAbsolutePath(path) && QFileInfo(path).isDir();
}

class TSystemOptionsEffects final : public IOptionsEffects {
public:
    bool SetAutorun(bool enable) override { return morvane::SetAutorun(enable); }
    void ApplyProcessPriority(int32_t priority) override { SetProcessPriority(priority); }
    bool SaveOptions(const TOptions& options) override { return morvane::SaveOptions(options); }
};

} // namespace

QString ExcludedFoldersText(const QStringList& folders) {
    return folders.join(u'\n');
}

QStringList ExcludedFoldersFromText(const QString& text) {
    if (text.isEmpty())
        return {};
    return text.split(u'\n');
}

TFoldersExistCheck::TFoldersExistCheck(QObject* parent)
    : QObject(parent), calls_(new TOffThreadCalls(this)) {}

void TFoldersExistCheck::Start(const QString& first, const QString& second) {
    const quint64 generation = ++generation_;
    calls_->Start(
        [first, second] {
            return std::pair{IsExistingFolder(first), IsExistingFolder(second)};
        },
        [this, generation](std::pair<bool, bool> exist) {
            if (generation == generation_)
                Q_EMIT Finished(exist.first, exist.second);
        });
}

void TFoldersExistCheck::Forget() {
    ++generation_;
}

TOptionsDialog::TOptionsDialog(IUserPrompt& prompt, QObject* parent)
    : QObject(parent), prompt_(prompt), check_(new TFoldersExistCheck(this)) {
    connect(check_, &TFoldersExistCheck::Finished, this, &TOptionsDialog::FoldersChecked);
}

void TOptionsDialog::OptionsToControls(const TOptions& options) {
    check_->Forget();
    SetChecking(false);
    tag_ = 0;
    const TGeneralOptions& general = options.General;
    const TLoggingOptions& logging = options.Logging;
    const TProcessingOptions& processing = options.Processing;
    TOptionsFields& f = Fields;
    f.RunProgramAtLogon = general.RunProgramAtLogon;
    f.RunOnlyOneJobAtATime = processing.RunOnlyOneJobAtATime;
    f.BlockSleepMode = general.BlockSleepModeifJobIsScheduled;
    f.ProtectByPassword = general.ProtectConfigurationbyPassword;
    f.ProcessPriority = general.ProcessPriority;
    f.PathForTempFiles = general.PathForTempFiles;
    f.LogsPerJob = logging.MaxNumberOfLogsForEachJob;
    f.LinesInHistory = logging.MaxNumberOfLinesInHistory;
    f.LinesInEventsLog = logging.MaxNumberOfLinesInEventsLog;
    f.DontLogCopyingInternalFiles = logging.DontLogCopyingInternalFiles;
    f.PathForLogFiles = logging.PathForLogFiles;
    f.RemovePreviousBackupIfCancelled = processing.RemovePreviousBackupIfCancelled;
    f.PreventOtherAppsFromWriting = processing.PreventOtherAppsFromWritingDuringZipping;
    f.DontUseBuffering = processing.DontUseBufferingForCopyOperations;
    f.RetryTimes = processing.IfDestinationNotAvailable_Retry_Times;
    f.DelaySeconds = processing.IfDestinationNotAvailable_Wait_Sec;
    f.Then = processing.IfDestinationNotAvailable_Then;
    f.ExcludedFolders = ExcludedFoldersText(options.ExcludedDirs);
    f.SkipHiddenSystemFiles = processing.SkipHiddenSystemFiles;
    f.SkipLockedFiles = processing.SkipLockedFiles;
    ProtectionPassword = general.strProtectConfiguration_Password;
}

void TOptionsDialog::ControlsToOptions(TOptions& options) const {
    TGeneralOptions& general = options.General;
    TLoggingOptions& logging = options.Logging;
    TProcessingOptions& processing = options.Processing;
    const TOptionsFields& f = Fields;
    general.RunProgramAtLogon = f.RunProgramAtLogon;
    processing.RunOnlyOneJobAtATime = f.RunOnlyOneJobAtATime;
    general.BlockSleepModeifJobIsScheduled = f.BlockSleepMode;
    general.ProtectConfigurationbyPassword = f.ProtectByPassword;
    general.strProtectConfiguration_Password = ProtectionPassword;
    general.ProcessPriority = f.ProcessPriority;
    general.PathForTempFiles = f.PathForTempFiles;
    logging.MaxNumberOfLogsForEachJob = f.LogsPerJob;
    logging.MaxNumberOfLinesInHistory = f.LinesInHistory;
    logging.MaxNumberOfLinesInEventsLog = f.LinesInEventsLog;
    logging.DontLogCopyingInternalFiles = f.DontLogCopyingInternalFiles;
    logging.PathForLogFiles = f.PathForLogFiles;
    processing.RemovePreviousBackupIfCancelled = f.RemovePreviousBackupIfCancelled;
    processing.PreventOtherAppsFromWritingDuringZipping = f.PreventOtherAppsFromWriting;
    processing.DontUseBufferingForCopyOperations = f.DontUseBuffering;
    processing.IfDestinationNotAvailable_Retry_Times = f.RetryTimes;
    processing.IfDestinationNotAvailable_Wait_Sec = f.DelaySeconds;
    processing.IfDestinationNotAvailable_Then = f.Then;
    processing.SkipHiddenSystemFiles = f.SkipHiddenSystemFiles;
    processing.SkipLockedFiles = f.SkipLockedFiles;
    options.ExcludedDirs = ExcludedFoldersFromText(f.ExcludedFolders);
}

QString TOptionsDialog::PasswordStatusText() const {
    return ProtectionPassword.isEmpty() ? Translate(QStringLiteral("Password is not set"))
                                        : Translate(QStringLiteral("Password is set"));
}

bool TOptionsDialog::ChooseTempFolder() {
    const auto folder =
        prompt_.ChooseFolder(Translate(QStringLiteral("Choose a folder for the temporary files")), QString());
    if (folder)
        Fields.PathForTempFiles = *folder;
    return folder.has_value();
}

bool TOptionsDialog::ChooseLogFolder() {
    const auto folder =
        prompt_.ChooseFolder(Translate(QStringLiteral("Choose a folder for the log files")), QString());
    if (folder)
        Fields.PathForLogFiles = *folder;
    return folder.has_value();
}

void TOptionsDialog::Ok() {
    if (checking_)
        return;
    if (Fields.ProtectByPassword && ProtectionPassword.isEmpty()) {
        prompt_.ShowError(
            Translate(QStringLiteral("Please specify a password for configuration protection.")));
        return;
    }
    checkedTemp_ = Fields.PathForTempFiles;
    checkedLog_ = Fields.PathForLogFiles;
    SetChecking(true);
    check_->Start(checkedTemp_, checkedLog_);
}

void TOptionsDialog::Cancel() {
    check_->Forget();
    SetChecking(false);
}

void TOptionsDialog::FoldersChecked(bool tempExists, bool logExists) {
    if (!checking_)
        return;
    SetChecking(false);
    QString refusal;
    if (!tempExists)
        refusal = Translate(QStringLiteral("Please choose a correct path for the temporary files."));
    else if (!logExists)
        refusal = Translate(QStringLiteral("Please choose a correct path for the log files."));
    else if (TrimBlanksAndControls(checkedTemp_) == TrimBlanksAndControls(checkedLog_))
        refusal = Translate(QStringLiteral("Unable to set the same path for temporary files and log files."));
    if (!refusal.isEmpty()) {
        prompt_.ShowError(refusal);
        return;
    }
    tag_ = 1;
    Q_EMIT Accepted();
}

void TOptionsDialog::SetChecking(bool checking) {
    if (checking_ == checking)
        return;
    checking_ = checking;
    Q_EMIT CheckingChanged(checking);
}

QString TOptionsDialog::InternalFilesCaption() {
    return FormatText(
        Translate(QStringLiteral("Do not log copying of the internal database files (*%s, *.%s)")),
        {QStringLiteral(".bmj"), QStringLiteral("qkl")});
}

IOptionsEffects& SystemOptionsEffects() {
    static TSystemOptionsEffects effects;
    return effects;
}

TOptionsCommand::TOptionsCommand(IOptionsWindow& window, IUserPrompt& prompt, IOptionsEffects& effects,
                                 TOptions& options)
    : window_(window), prompt_(prompt), effects_(effects), options_(options), dialog_(prompt) {}

bool TOptionsCommand::Run() {
    const bool autorunBefore = options_.General.RunProgramAtLogon;
    const int32_t priorityBefore = options_.General.ProcessPriority;
    dialog_.OptionsToControls(options_);
    window_.ShowOptions(dialog_);
    if (dialog_.Tag() == 0)
        return false;
    dialog_.ControlsToOptions(options_);
    if (options_.General.RunProgramAtLogon != autorunBefore &&
        !effects_.SetAutorun(options_.General.RunProgramAtLogon)) {
        options_.General.RunProgramAtLogon = autorunBefore;
        prompt_.ShowError(AutorunFailureText());
    }
    if (options_.General.ProcessPriority != priorityBefore)
        effects_.ApplyProcessPriority(options_.General.ProcessPriority);
    // A failed save is not reported: the options in memory hold for this session.
    effects_.SaveOptions(options_);
    return true;
}

QString TOptionsCommand::AutorunFailureText() {
    return Translate(QStringLiteral(
               "Unable to change the autorun option. Make sure you can write the autostart entry:")) +
           QStringLiteral("\r\n\r\n") + AutorunEntryPath();
}

} // namespace morvane
