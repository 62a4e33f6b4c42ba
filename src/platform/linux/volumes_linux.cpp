#include "platform/volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <QStringList>

#include <algorithm>

namespace morvane {

namespace {

// Mount points in the mount table escape blanks, tabs, line breaks and backslashes as "\ooo".
QByteArray UnescapeMountField(const QByteArray& field) {
    QByteArray result;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = false;
            const int value = digits.toInt(&ok, 8);
            if (ok) {
                result.append(static_cast<char>(value));
                i += 3;
                continue;
            }
        }
        result.append(field[i]);
    }
    return result;
}

// The mount points of this process's mount namespace.
QStringList MountPoints() {
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    QStringList points;
    if (!table.open(QIODevice::ReadOnly))
        return points;
    const QList<QByteArray> lines = table.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 4)
            points.append(QFile::decodeName(UnescapeMountField(fields[4])));
    }
    return points;
}

bool IsInside(const QString& path, const QString& folder) {
    if (folder == QStringView(u"/"))
        return true;
    return path == folder || (path.startsWith(folder) && path.at(folder.size()) == u'/');
}

} // namespace

QString VolumeRootOf(const QString& path) {
    if (path.isEmpty() || !QDir::isAbsolutePath(path))
        return QString();
    QString existing = QDir::cleanPath(path);
    while (!QFileInfo::exists(existing) && existing != QStringView(u"/"))
        existing = QFileInfo(existing).path();
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    const QString resolved = canonical.isEmpty() ? existing : canonical;
    QString best = QStringLiteral("/");
    const QStringList points = MountPoints();
    for (const QString& point : points)
        if (point.size() > best.size() && IsInside(resolved, point))
            best = point;
    return best;
}

QList<TMountedVolume> BlockDeviceVolumes() {
    QList<TMountedVolume> volumes;
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly))
        return volumes;
    const QList<QByteArray> lines = table.readAll().split('\n');
    for (const QByteArray& line : lines) {
        // "id parent major:minor root mount-point options [optional fields] - type source super-options"
        const qsizetype dash = line.indexOf(" - ");
        if (dash < 0)
            continue;
        const QList<QByteArray> fields = line.left(dash).split(' ');
        const QList<QByteArray> after = line.mid(dash + 3).split(' ');
        if (fields.size() < 5 || after.size() < 2)
            continue;
        const QString device = QFile::decodeName(UnescapeMountField(after[1]));
        if (!device.startsWith(QStringLiteral("/dev/")))
            continue;
        const QString point = QFile::decodeName(UnescapeMountField(fields[4]));
        if (std::any_of(volumes.begin(), volumes.end(),
                        [&](const TMountedVolume& known) { return known.MountPoint == point; }))
            continue;
        const QStorageInfo storage(point);
        volumes.append({point, device, storage.isValid() ? storage.name() : QString(),
                        storage.isValid() ? storage.bytesTotal() : 0});
    }
    std::sort(volumes.begin(), volumes.end(),
              [](const TMountedVolume& a, const TMountedVolume& b) { return a.MountPoint < b.MountPoint; });
    return volumes;
}

} // namespace morvane
