#pragma once

#include "command_line.h"

namespace morvane::imager {

// Exit codes; the program that drives the tool reads its output lines, these are for people and scripts.
enum ExitCode {
    kSuccess = 0,
    kFailed = 1,       // the operation failed or some files could not be read
    kUsage = 2,        // the command line is wrong
    kAccessDenied = 3, // not run as root
    kBusy = 4,         // another backup or delete holds the target
    kNoSpace = 5,      // the target filled up
    kStopped = 6,      // "stop job" ended the backup
};

int RunBackup(const Command& command);
int RunDelete(const Command& command);
int RunStop();

} // namespace morvane::imager
