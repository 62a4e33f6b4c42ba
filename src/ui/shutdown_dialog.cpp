#include "ui/shutdown_dialog.h"

#include "i18n/translation.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace morvane {

TfrmPCshutdownDialog::TfrmPCshutdownDialog(QWidget* parent)
    : QDialog(parent), message_(new QLabel(this)), shutdown_(new QPushButton(this)),
      cancel_(new QPushButton(this)) {
    setObjectName(QStringLiteral("frmPCshutdownDialog"));
    setWindowFlags((windowFlags() | Qt::WindowStaysOnTopHint) & ~Qt::WindowContextHelpButtonHint);

    auto* icon = new QLabel(this);
    const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this).pixmap(size, size));
    icon->setAlignment(Qt::AlignTop);
    message_->setWordWrap(true);
    message_->setMinimumWidth(360);
    message_->setMinimumHeight(message_->fontMetrics().lineSpacing() * 3);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addWidget(message_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(shutdown_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    cancel_->setDefault(true);
    connect(shutdown_, &QPushButton::clicked, this, [this] {
        if (countdown_)
            countdown_->ShutdownNow();
    });
    connect(cancel_, &QPushButton::clicked, this, [this] {
        if (countdown_)
            countdown_->Cancel();
    });
    Retranslate();
}

void TfrmPCshutdownDialog::Retranslate() {
    setWindowTitle(u' ' + Translate(QStringLiteral("Warning!")));
    shutdown_->setText(Translate(QStringLiteral("Shutdown")));
    cancel_->setText(Translate(QStringLiteral("Cancel")));
}

void TfrmPCshutdownDialog::ShowShutdownMessage(const QString& message) {
    message_->setText(message);
    if (!isVisible()) {
        Retranslate();
        show();
    }
    // Back on top each second, above other stay-on-top windows too.
    raise();
    activateWindow();
}

void TfrmPCshutdownDialog::CloseShutdownDialog() {
    closingFromCountdown_ = true;
    hide();
    closingFromCountdown_ = false;
}

void TfrmPCshutdownDialog::closeEvent(QCloseEvent* event) {
    // The close box while the countdown runs is the same as "Cancel".
    if (!closingFromCountdown_ && countdown_ && countdown_->IsTimerRunning()) {
        event->ignore();
        countdown_->Cancel();
        return;
    }
    QDialog::closeEvent(event);
}

void TfrmPCshutdownDialog::reject() {
    // Escape, like the close box, cancels the power-off.
    if (countdown_ && countdown_->IsTimerRunning()) {
        countdown_->Cancel();
        return;
    }
    QDialog::reject();
}

} // namespace morvane
