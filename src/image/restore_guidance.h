#pragma once

#include <QString>

namespace morvane {

class IPowerControl;

// What restoring a drive image shows the user. The desktop program answers with its guidance window
// and message boxes; tests record the calls. Every call happens on the thread that called Restore.
class TDriveImageRestoreGuidance {
public:
    virtual ~TDriveImageRestoreGuidance() = default;
    // Shows, without waiting, how to start the computer into its recovery environment and offers to
    // restart into it.
    virtual void ShowRestoreGuidance() = 0;
    // An error message box with an OK button.
    virtual void ShowErrorMessage(const QString& text) = 0;
};

// The guidance's "Restart PC and continue...": the program is to end (closing the main window then
// ends it, cancelling running jobs) and the computer restarts into its boot menu. The restart's
// answer is not looked at: the program closes either way.
void RestartIntoRecoveryAndClose(IPowerControl& power);

} // namespace morvane
