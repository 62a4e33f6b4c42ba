#pragma once

#include "control/user_prompt.h"
#include "image/restore_guidance.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;

namespace morvane {

// How to restore a drive image: start the computer into its recovery environment and go through
// three menu entries, shown as a small diagram; offers to restart into it.
class TfrmRestore_DriveImage final : public QDialog, public TDriveImageRestoreGuidance {
    Q_OBJECT
public:
    // `closeMainWindow` ends the program through its normal closing path after the restart request.
    TfrmRestore_DriveImage(IPowerControl& power, IUserPrompt& prompt, std::function<void()> closeMainWindow,
                           QWidget* parent = nullptr);

    void ShowRestoreGuidance() override;
    void ShowErrorMessage(const QString& text) override;

    QPushButton* RestartButton() const { return restart_; }
    QPushButton* CancelButton() const { return cancel_; }

private:
    void Retranslate();

    IPowerControl& power_;
    IUserPrompt& prompt_;
    std::function<void()> closeMainWindow_;
    QLabel* explanation_;
    QLabel* steps_[3];
    QLabel* tip_;
    QPushButton* restart_;
    QPushButton* cancel_;
};

} // namespace morvane
