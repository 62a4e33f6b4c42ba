#include "platform/instance_lock.h"

#include "platform/file_names.h"
#include "platform/paths.h"
#include "platform/program_state.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <unistd.h>

namespace morvane {

TInstanceLock::TInstanceLock(const QString& path) {
    const QByteArray name = NameToBytes(path);
    const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        problem_ = path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    // flock belongs to the open file, so the system releases it when this process ends.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK)
            problem_ = path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        ::close(fd);
        return;
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0)
        (void)::pwrite(fd, pid.data(), pid.size(), 0);
    fd_ = fd;
}

TInstanceLock::~TInstanceLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

int64_t TInstanceLock::HolderProcessId(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const int64_t pid = file.read(32).trimmed().toLongLong(&ok);
    return ok && pid > 0 ? pid : 0;
}

QString InstanceLockPath() {
    return JoinPath(Program().ApplicationDirectory, QStringLiteral("instance.lock"));
}

} // namespace morvane
