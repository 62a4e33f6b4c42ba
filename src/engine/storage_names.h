#pragma once

#include <QString>

namespace morvane {

// Names and relative paths read from the storage (list files, backup names in the job copy, the start
// flag) are untrusted: a safe one stays inside the folder it is joined to.

// A single folder name: not empty, no separator, not "." or "..", and with "\" read as a separator
// (as a network share does) no ".." piece and not only empty and "." pieces.
bool IsSafeFolderName(const QString& name);
// A relative path: not absolute, no empty, "." or ".." component.
bool IsSafeRelativePath(const QString& path);

} // namespace morvane
