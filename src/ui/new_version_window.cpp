#include "ui/new_version_window.h"

#include "i18n/translation.h"
#include "platform/program_state.h"
#include "ui/application_icon.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace morvane {

TfrmNewVersion::TfrmNewVersion(TNewVersionController& controller, QWidget* parent)
    : QDialog(parent), controller_(controller), label1_(new QLabel(this)),
      btUpdateNow_(new QPushButton(this)), btCancel_(new QPushButton(this)),
      progressBar1_(new QProgressBar(this)) {
    setObjectName(QStringLiteral("frmNewVersion"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setWindowTitle(u' ' + QString::fromUtf16(ApplicationTitle));

    auto* image = new QLabel(this);
    image->setPixmap(ApplicationIcon().pixmap(64, 64));
    image->setAlignment(Qt::AlignTop);
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setWordWrap(true);
    label1_->setTextFormat(Qt::PlainText);
    label1_->setMinimumWidth(420);
    label1_->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    // Line breaks as the server's text has them.
    QString text = controller.Message();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    label1_->setText(text.trimmed());
    btUpdateNow_->setObjectName(QStringLiteral("btUpdateNow"));
    btUpdateNow_->setText(Translate(QStringLiteral("Update Now")));
    btCancel_->setObjectName(QStringLiteral("btCancel"));
    btCancel_->setText(Translate(QStringLiteral("Cancel")));
    progressBar1_->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar1_->setRange(0, 100);
    progressBar1_->hide();

    auto* top = new QHBoxLayout;
    top->addWidget(image);
    top->addWidget(label1_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btUpdateNow_);
    buttons->addWidget(btCancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(progressBar1_);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetMinimumSize);

    btUpdateNow_->setDefault(true);
    connect(btUpdateNow_, &QPushButton::clicked, this, [this] { controller_.UpdateNow(); });
    connect(btCancel_, &QPushButton::clicked, this, [this] { controller_.CancelClicked(); });
    controller_.SetView(this);
}

void TfrmNewVersion::ShowDownloading() {
    btCancel_->setText(Translate(QStringLiteral("Abort")));
    btUpdateNow_->setEnabled(false);
    progressBar1_->setValue(0);
    progressBar1_->show();
}

void TfrmNewVersion::SetProgress(int percent) {
    progressBar1_->setValue(percent);
}

void TfrmNewVersion::CloseWindow() {
    closing_ = true;
    // Hides even when called from inside a close event, where a second close() would be ignored.
    done(QDialog::Rejected);
}

void TfrmNewVersion::closeEvent(QCloseEvent* event) {
    // The close box is "Cancel" (or "Abort"); the controller closes the window when it is done.
    if (!closing_) {
        event->ignore();
        controller_.CancelClicked();
        return;
    }
    QDialog::closeEvent(event);
}

void TfrmNewVersion::reject() {
    if (closing_) {
        QDialog::reject();
        return;
    }
    controller_.CancelClicked();
}

bool TDesktopOpener::Open(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

} // namespace morvane
