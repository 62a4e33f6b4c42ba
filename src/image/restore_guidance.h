#pragma once

#include <QString>

namespace morvane {

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

} // namespace morvane
