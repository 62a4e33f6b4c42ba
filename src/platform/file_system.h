#pragma once

#include <QString>

namespace morvane {

// Deletes a file, or a folder with everything below it, making folders writable first so read-only
// folders do not stop it. Symbolic links are removed, never followed. True when nothing is left.
bool ForceDeleteTree(const QString& path);

// True when the path names an existing folder (a symbolic link to one counts).
bool DirectoryExists(const QString& path);
bool FileExists(const QString& path);

} // namespace morvane
