#pragma once

#include "control/off_thread.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

namespace morvane {

class IUserPrompt;
struct TOptions;

// What the options window's controls hold, tab by tab, named after the options they edit.
struct TOptionsFields {
    // General
    bool RunProgramAtLogon = false;
    bool RunOnlyOneJobAtATime = false;
    bool BlockSleepMode = false;
    bool ProtectByPassword = false;
    int32_t ProcessPriority = 1; // its control is not offered; the value passes through unchanged
    QString PathForTempFiles;
    // Logging
    int32_t LogsPerJob = 0;
    int32_t LinesInHistory = 0;
    int32_t LinesInEventsLog = 0;
    bool DontLogCopyingInternalFiles = false;
    QString PathForLogFiles;
    // Backup
    bool RemovePreviousBackupIfCancelled = false;
    bool PreventOtherAppsFromWriting = false;
    bool DontUseBuffering = false;
    int32_t RetryTimes = 0;
    int32_t DelaySeconds = 0;
    int32_t Then = 0; // 0 cancel the job, 1 pause it
    // Exclusions: one folder per line, exactly as typed
    QString ExcludedFolders;
    bool SkipHiddenSystemFiles = false;
    bool SkipLockedFiles = false;
};

// The excluded folders as the editor shows them, one per line, and back: every line is an entry,
// blank ones included; only an empty text is an empty list.
QString ExcludedFoldersText(const QStringList& folders);
QStringList ExcludedFoldersFromText(const QString& text);

// Looks on a worker thread whether two paths name existing folders (absolute paths only), so a slow
// or hung mount never stops the window; the answer arrives on this object's thread.
class TFoldersExistCheck final : public QObject {
    Q_OBJECT
public:
    explicit TFoldersExistCheck(QObject* parent = nullptr);
    // A check started while another runs supersedes it: only the newest answer is reported.
    void Start(const QString& first, const QString& second);
    // Drops the answer of the running check.
    void Forget();

Q_SIGNALS:
    void Finished(bool firstExists, bool secondExists);

private:
    TOffThreadCalls* calls_;
    quint64 generation_ = 0;
};

// The options window without its widgets: the fields, the password controls, the folder choosers and
// the checks of OK.
class TOptionsDialog final : public QObject {
    Q_OBJECT
public:
    explicit TOptionsDialog(IUserPrompt& prompt, QObject* parent = nullptr);

    TOptionsFields Fields;
    // The protection password while the window is open.
    QString ProtectionPassword;

    // Fills the fields and the password from the options and starts a showing (Tag 0).
    void OptionsToControls(const TOptions& options);
    // Copies every field back; the excluded folders replace the list's contents.
    void ControlsToOptions(TOptions& options) const;

    // The password button and its label are usable only while protection is checked.
    bool PasswordControlsEnabled() const { return Fields.ProtectByPassword; }
    QString PasswordStatusText() const;
    // Folder choosers of the two paths: a chosen folder replaces the field; false when cancelled.
    bool ChooseTempFolder();
    bool ChooseLogFolder();

    // OK: the first failing check shows its message and the window stays; when every check passes,
    // Tag becomes 1 and Accepted is emitted. The folder checks answer later, through the event loop.
    void Ok();
    // Cancel or the window's close box: a pending check is dropped, Tag stays 0.
    void Cancel();
    bool Checking() const { return checking_; }
    // 1 after a valid OK, 0 otherwise.
    int Tag() const { return tag_; }

    // The Logging tab's caption that names the program's internal files.
    static QString InternalFilesCaption();

Q_SIGNALS:
    void Accepted();
    // The window keeps its controls still while the folders are being looked at.
    void CheckingChanged(bool checking);

private:
    void FoldersChecked(bool tempExists, bool logExists);
    void SetChecking(bool checking);

    IUserPrompt& prompt_;
    TFoldersExistCheck* check_;
    QString checkedTemp_;
    QString checkedLog_;
    bool checking_ = false;
    int tag_ = 0;
};

// The options window: shows the dialog's fields, runs modally and keeps them up to date; returns
// once it has closed.
class IOptionsWindow {
public:
    virtual ~IOptionsWindow() = default;
    virtual void ShowOptions(TOptionsDialog& dialog) = 0;
};

// What changing the options does to the system and the options file.
class IOptionsEffects {
public:
    virtual ~IOptionsEffects() = default;
    virtual bool SetAutorun(bool enable) = 0;
    virtual void ApplyProcessPriority(int32_t priority) = 0;
    virtual bool SaveOptions(const TOptions& options) = 0;
};

// The real autostart entry, process priority and options file.
IOptionsEffects& SystemOptionsEffects();

// The main window's Options command.
class TOptionsCommand {
public:
    // `options` is the record edited (the global one in the program). All must outlive this.
    TOptionsCommand(IOptionsWindow& window, IUserPrompt& prompt, IOptionsEffects& effects, TOptions& options);

    // Shows the window; after a valid OK copies the fields back, changes autorun and the priority
    // when they changed, and saves the options. True when the options were taken over.
    bool Run();
    TOptionsDialog& Dialog() { return dialog_; }

    // The message for an autostart entry that could not be written or removed.
    static QString AutorunFailureText();

private:
    IOptionsWindow& window_;
    IUserPrompt& prompt_;
    IOptionsEffects& effects_;
    TOptions& options_;
    TOptionsDialog dialog_;
};

} // namespace morvane
