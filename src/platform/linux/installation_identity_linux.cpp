#include "platform/installation_identity.h"

#include "platform/paths.h"
#include "platform/program_state.h"
#include "platform/special_folders.h"

#include <QFile>
#include <QUuid>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace morvane {

namespace {

QString SystemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// The identity a file holds; empty when it holds none.
QString ReadIdentity(const QString& path, QString* problem) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *problem = path + QStringLiteral(": ") + file.errorString();
        return QString();
    }
    const QUuid identity = QUuid::fromString(QString::fromLatin1(file.read(64).trimmed()));
    if (identity.isNull()) {
        *problem = path + QStringLiteral(": no identity in the file");
        return QString();
    }
    return identity.toString(QUuid::WithoutBraces);
}

// Writes a new identity to a private file beside `path`, then links it in under `path`. Linking never
// replaces an existing file, so when two programs race, the first link wins and both read its identity.
bool CreateIdentity(const QString& path, QString* problem) {
    const QByteArray target = QFile::encodeName(path);
    const QByteArray draft = target + ".new." + QByteArray::number(::getpid());
    const QByteArray text = QUuid::createUuid().toString(QUuid::WithoutBraces).toLatin1() + '\n';
    const int fd = ::open(draft.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *problem = path + QStringLiteral(": ") + SystemText(errno);
        return false;
    }
    const bool written =
        ::write(fd, text.constData(), size_t(text.size())) == text.size() && ::fsync(fd) == 0;
    const int writeError = errno;
    ::close(fd);
    const bool linked = written && (::link(draft.constData(), target.constData()) == 0 || errno == EEXIST);
    const int linkError = errno;
    ::unlink(draft.constData());
    if (!linked)
        *problem = path + QStringLiteral(": ") + SystemText(written ? linkError : writeError);
    return linked;
}

} // namespace

QString InstallationIdentityPath() {
    return JoinPath(Program().ApplicationDirectory, QStringLiteral("installation.id"));
}

QString InstallationIdentity(QString* problem) {
    QString reason;
    const QString path = InstallationIdentityPath();
    QString identity;
    if (QFile::exists(path) ||
        (CreatePrivateDirectory(Program().ApplicationDirectory) && CreateIdentity(path, &reason)))
        identity = ReadIdentity(path, &reason);
    else if (reason.isEmpty())
        reason = Program().ApplicationDirectory + QStringLiteral(": ") + SystemText(EACCES);
    if (problem)
        *problem = identity.isEmpty() ? reason : QString();
    return identity;
}

} // namespace morvane
