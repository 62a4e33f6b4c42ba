#include "engine/storage_names.h"

#include "platform/paths.h"

#include <QList>

namespace morvane {

bool IsSafeFolderName(const QString& name) {
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(PathSeparator) ||
        name.contains(QChar(0)))
        return false;
    // A network share reads a backslash as a separator, so no backslash-separated piece may climb, and
    // some piece must name an entry: "\" or ".\" there is the folder itself, and removing or renaming
    // it would take every backup in it.
    bool namesEntry = false;
    for (const QStringView piece : QStringView(name).split(u'\\')) {
        if (piece == u"..")
            return false;
        if (!piece.isEmpty() && piece != u".")
            namesEntry = true;
    }
    return namesEntry;
}

bool IsSafeRelativePath(const QString& path) {
    if (path.isEmpty() || path.startsWith(PathSeparator))
        return false;
    for (const QStringView part : QStringView(path).split(PathSeparator))
        if (!IsSafeFolderName(part.toString()))
            return false;
    return true;
}

} // namespace morvane
