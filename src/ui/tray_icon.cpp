#include "ui/tray_icon.h"

#include "i18n/translation.h"
#include "platform/program_state.h"

#include <QMenu>

namespace morvane {

TTrayIcon::TTrayIcon(const QIcon& icon, QObject* parent)
    : QObject(parent), icon_(new QSystemTrayIcon(icon, this)), menu_(new QMenu()) {
    open_ = menu_->addAction(QString());
    menu_->addSeparator();
    quit_ = menu_->addAction(QString());
    menu_->setDefaultAction(open_);
    icon_->setContextMenu(menu_);
    icon_->setToolTip(QString::fromUtf16(ApplicationTitle));
    connect(open_, &QAction::triggered, this, &TTrayIcon::OpenRequested);
    connect(quit_, &QAction::triggered, this, &TTrayIcon::QuitRequested);
    connect(icon_, &QSystemTrayIcon::activated, this, &TTrayIcon::Activated);
    Translate();
}

TTrayIcon::~TTrayIcon() {
    delete menu_;
}

bool TTrayIcon::Available() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TTrayIcon::Show() {
    icon_->show();
}

void TTrayIcon::Translate() {
    open_->setText(morvane::Translate(QStringLiteral("Open")));
    quit_->setText(morvane::Translate(QStringLiteral("Quit")));
}

void TTrayIcon::Activated(QSystemTrayIcon::ActivationReason reason) {
    // The context menu opens on its own; every other click opens the window.
    if (reason != QSystemTrayIcon::Context)
        Q_EMIT OpenRequested();
}

} // namespace morvane
