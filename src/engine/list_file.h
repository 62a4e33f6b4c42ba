#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace morvane {

// The list files of a backup folder ("_rf.qkl" and the others) hold one relative path a line. A path
// a line cannot hold (a line break in a name, bytes that are not UTF-8) and every symbolic link are
// written as an escaped line: "/", a kind letter ("f" an ordinary entry, "l" a link), "/", and the
// path's bytes with "%", control bytes and bytes outside valid UTF-8 as "%XX". A relative path never
// starts with "/", so a reader that knows no escapes refuses such a line instead of misreading it.

struct TListEntry {
    QString Path;
    bool SymbolicLink = false;

    bool operator==(const TListEntry&) const = default;
};
using TListEntries = QList<TListEntry>;

// The storage copy of the job file marks a link by its time text: this prefix and the link's time.
inline const QString LinkTimePrefix = QStringLiteral("symlink:");

QString ListLine(const TListEntry& entry);
// A line that is no well-formed escaped line is taken as it stands (a path starting with "/", which
// the restore refuses).
TListEntry ParseListLine(const QString& line);

// Writes the paths as a list file; the paths in `links` are marked as links. False on any failure.
bool WriteListFile(const QString& path, const QStringList& paths, const QSet<QString>& links = {});
// The entries of a list file; empty when it cannot be read.
TListEntries ReadListFile(const QString& path);

} // namespace morvane
