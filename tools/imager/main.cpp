// morvane-imager: writes, prunes and stops volume image backups on a local target folder.
// docs/imaging-tool.md describes its command lines and output.

#include "command_line.h"
#include "commands.h"
#include "imager_output.h"

#include <clocale>
#include <csignal>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace morvane::imager;

int main(int argc, char* argv[]) {
    // The reader of the output may go away; the backup goes on and cleans up all the same.
    std::signal(SIGPIPE, SIG_IGN);
    // File names are stored in the archives as UTF-8 whatever locale the caller passed on.
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr)
        std::setlocale(LC_CTYPE, "");
    PrintBanner();
    if (::geteuid() != 0) {
        PrintLine(u"Access denied. You must be a member of the administrators: run this tool as root."_s);
        return kAccessDenied;
    }
    QStringList arguments;
    for (int index = 1; index < argc; ++index)
        arguments.append(QString::fromLocal8Bit(argv[index]));
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    if (!parsed.command) {
        PrintError(parsed.error);
        for (const QString& line : UsageLines())
            PrintLine(line);
        return kUsage;
    }
    switch (parsed.command->verb) {
    case Verb::StartBackup:
        return RunBackup(*parsed.command);
    case Verb::DeleteBackup:
        return RunDelete(*parsed.command);
    case Verb::StopJob:
        break;
    }
    return RunStop();
}
