#pragma once

#include "control/new_version.h"

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace morvane {

// The "New Version" window: the offer's text, "Update Now" and "Cancel" ("Abort" while the package
// downloads) over the controller that does the work.
class TfrmNewVersion final : public QDialog, public INewVersionView {
    Q_OBJECT
public:
    explicit TfrmNewVersion(TNewVersionController& controller, QWidget* parent = nullptr);

    void ShowDownloading() override;
    void SetProgress(int percent) override;
    void CloseWindow() override;

    QLabel* MessageLabel() const { return label1_; }
    QPushButton* UpdateNowButton() const { return btUpdateNow_; }
    QPushButton* CancelButton() const { return btCancel_; }
    QProgressBar* ProgressBar() const { return progressBar1_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    TNewVersionController& controller_;
    QLabel* label1_;
    QPushButton* btUpdateNow_;
    QPushButton* btCancel_;
    QProgressBar* progressBar1_;
    bool closing_ = false;
};

// The desktop's "open" service.
class TDesktopOpener final : public IDesktopOpener {
public:
    bool Open(const QUrl& url) override;
};

} // namespace morvane
