#include "platform/paths.h"

namespace morvane {

QString JoinPath(const QString& directory, const QString& name) {
    if (directory.isEmpty())
        return name;
    QStringView dir(directory);
    while (dir.size() > 1 && dir.endsWith(PathSeparator))
        dir.chop(1);
    QStringView tail(name);
    while (tail.startsWith(PathSeparator))
        tail = tail.mid(1);
    if (dir == QStringView(u"/"))
        return dir + tail;
    return dir + PathSeparator + tail;
}

QString ExtractFileName(const QString& path) {
    return path.mid(path.lastIndexOf(PathSeparator) + 1);
}

QString ExtractFileExt(const QString& path) {
    const QString name = ExtractFileName(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? QString() : name.mid(dot);
}

} // namespace morvane
