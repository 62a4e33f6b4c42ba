#pragma once

#include <QStringList>

namespace morvane {

// Exit statuses of the command-line tool.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUnknownJob = 2;
inline constexpr int ExitUsage = 64;

// Runs one command (arguments without the program name); prints to stdout and stderr.
int RunCli(const QStringList& arguments);

} // namespace morvane
