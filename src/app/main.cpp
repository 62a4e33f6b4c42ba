// morvane-backup: the desktop program. One instance per user lives in the notification area; a
// second start hands its command line to it and ends.

#include "app/desktop_application.h"

#include <QApplication>

#include <cstdio>
#include <cstring>

namespace {

const char* const HelpText =
    "Usage: morvane-backup [FILE.bmj] [--hide]\n"
    "\n"
    "Starts the Morvane Backup desktop program, or shows the window of the one already running.\n"
    "\n"
    "  FILE.bmj        open the job file in the import dialog\n"
    "  --hide          start in the notification area without showing the window\n"
    "  --help, -h      show this text\n"
    "  --version       show the version\n"
    "\n"
    "The program passes itself --backup NAME, --restore, --remove and --admin when it restarts with\n"
    "more rights; switches may also be written with one \"-\" or a \"/\".\n"
    "Jobs are run and restored from the command line with morvane-cli.\n";

// Answered before any display is opened, so they work without one.
int AnswerInformationSwitch(const char* argument) {
    if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
        std::fputs(HelpText, stdout);
        return 0;
    }
    if (std::strcmp(argument, "--version") == 0) {
        std::printf("morvane-backup %s\n", MORVANE_VERSION);
        return 0;
    }
    return -1;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc > 1) {
        if (const int status = AnswerInformationSwitch(argv[1]); status >= 0)
            return status;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Morvane Backup"));
    QApplication::setQuitOnLastWindowClosed(false);
    morvane::TDesktopApplication program(QApplication::arguments().mid(1));
    return program.Run();
}
