#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>
#include <ostream>
#include <string>

namespace morvane::testing {

// One file-system entry as a backup must reproduce it: its kind and its bytes (file content or link
// target).
struct TreeEntry {
    char kind = '?'; // 'd' folder, 'f' file, 'l' symbolic link
    QByteArray bytes;
    bool operator==(const TreeEntry&) const = default;
};
// Shows a mismatch as the kind and the size or link target, not as raw bytes.
void PrintTo(const TreeEntry& entry, std::ostream* stream);
// Keyed by "./relative/path", the root being "./".
using Tree = std::map<std::string, TreeEntry>;

// The tree under `root`, symbolic links not followed.
Tree ReadFolderTree(const QString& root);
// The tree an archive restores to, hard links resolved to the content of the entry they name. An
// unreadable archive fails the current test.
Tree ReadArchiveTree(const QString& archivePath);

struct ImagerRun {
    int exitCode = -1;
    QStringList lines;
    bool Has(const QString& fragment) const;
    // Lines a run log would count as errors: those holding "ERROR".
    QStringList ErrorLines() const;
};

ImagerRun RunImager(const QStringList& arguments);
// Runs a shell script with sh -c; "$IMAGER" holds the tool's path.
ImagerRun RunShell(const QString& script);

} // namespace morvane::testing
