#pragma once

#include <QString>

namespace morvane {

// Folders the operating system assigns to the current user. They honour HOME and the XDG variables,
// so tests can run in a temporary home.
QString ApplicationDataFolder();       // per-user configuration root
QString CommonApplicationDataFolder(); // data root shared by the user's programs
QString DocumentsFolder();
QString TempDirectory();
// The folder of the running executable (where "transl.dt" and the default lists are looked up).
QString ExecutableDirectory();

// Creates the directory with owner-only permissions (missing parents with default ones) and tightens
// an existing one to them.
// Returns false when the folder does not exist afterwards.
bool CreatePrivateDirectory(const QString& path);

// The primary language of the user interface as the numeric identifiers the default-language tables
// are keyed by (German 7, French 12, …); 0 when unknown.
int SystemUiLanguagePrimaryId();

} // namespace morvane
