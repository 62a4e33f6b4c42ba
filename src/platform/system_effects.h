#pragma once

#include <QString>

namespace morvane {

// Starts the desktop program hidden at logon through the user's autostart entry, or stops doing so.
// False when the entry cannot be written or removed.
bool WriteAutorunEntry(bool enable, const QString& executablePath);
QString AutorunEntryPath();

// Sets the scheduling priority of this process: 0 idle, 1 normal, 2 high, 3 realtime; any other
// value changes nothing. Refusals (raising priority needs privileges) are ignored.
void SetProcessPriority(int priority);

// Where the program's data files ("transl.dt", "excluded-directories.txt") are: beside the executable
// in a build tree, or in the installed data folder.
QString FindDataFile(const QString& name);

} // namespace morvane
