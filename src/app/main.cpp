// morvane-backup: the desktop program. One instance per user lives in the notification area; a
// second start hands its command line to it and ends.

#include "app/desktop_application.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Morvane Backup"));
    QApplication::setQuitOnLastWindowClosed(false);
    morvane::TDesktopApplication program(QApplication::arguments().mid(1));
    return program.Run();
}
