#pragma once

#include "scheduler/shutdown_countdown.h"

#include <QDialog>

class QLabel;
class QPushButton;

namespace morvane {

// The stay-on-top warning before the end-of-run power-off; the countdown drives it.
class TfrmPCshutdownDialog final : public QDialog, public IShutdownDialog {
    Q_OBJECT
public:
    explicit TfrmPCshutdownDialog(QWidget* parent = nullptr);

    // The countdown that the buttons and the close box reach; set before the first showing.
    void SetCountdown(TShutdownCountdown* countdown) { countdown_ = countdown; }

    void ShowShutdownMessage(const QString& message) override;
    void CloseShutdownDialog() override;

    QLabel* MessageLabel() const { return message_; }
    QPushButton* ShutdownButton() const { return shutdown_; }
    QPushButton* CancelButton() const { return cancel_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void Retranslate();

    TShutdownCountdown* countdown_ = nullptr;
    bool closingFromCountdown_ = false;
    QLabel* message_;
    QPushButton* shutdown_;
    QPushButton* cancel_;
};

} // namespace morvane
