#pragma once

#include <QStringList>

#include <optional>

namespace morvane {

// True when the desktop program that holds the instance lock started this tool and lends it the lock.
bool DelegatedByLockHolder();

// Hands a job command to the running desktop program and prints its answer; the command's exit
// status, or nothing when no desktop program listens (the lock holder is the headless scheduler).
std::optional<int> ForwardToDesktopProgram(const QStringList& arguments);

} // namespace morvane
