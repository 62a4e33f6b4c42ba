#include "fuzz_support.h"

#include "formats/events_log.h"
#include "platform/paths.h"

#include <QFile>
#include <QTemporaryDir>

namespace morvane::fuzz {

QString ScratchFolder() {
    static const QTemporaryDir folder;
    Require(folder.isValid());
    return folder.path();
}

QString WriteScratchFile(const QString& name, const QByteArray& bytes) {
    const QString path = JoinPath(ScratchFolder(), name);
    QFile file(path);
    Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
    return path;
}

QByteArray ReadScratchFile(const QString& name) {
    QFile file(JoinPath(ScratchFolder(), name));
    Require(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

void DropPendingEvents() {
    TakePendingEvents();
}

} // namespace morvane::fuzz
