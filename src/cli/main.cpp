// morvane-cli: the headless command-line tool. It reads the same application directory as the
// desktop program.

#include "cli/cli_commands.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    return morvane::RunCli(QCoreApplication::arguments().mid(1));
}
