#pragma once

#include <QObject>
#include <QSystemTrayIcon>

class QAction;
class QMenu;

namespace morvane {

// The program's icon in the notification area, owned by the application rather than the main window:
// a click opens the window, its menu holds "Open" and "Quit". Without a notification area the
// program keeps its window on the task bar instead (see Available()).
class TTrayIcon : public QObject {
    Q_OBJECT
public:
    explicit TTrayIcon(const QIcon& icon, QObject* parent = nullptr);
    ~TTrayIcon() override;

    // Whether the desktop has a notification area to hold the icon; when not, closing the window
    // minimises it and a hidden start starts minimised.
    static bool Available();

    void Show();
    // Sets the menu's captions in the current language.
    void Translate();

Q_SIGNALS:
    void OpenRequested();
    void QuitRequested();

private:
    void Activated(QSystemTrayIcon::ActivationReason reason);

    QSystemTrayIcon* icon_;
    QMenu* menu_;
    QAction* open_;
    QAction* quit_;
};

} // namespace morvane
