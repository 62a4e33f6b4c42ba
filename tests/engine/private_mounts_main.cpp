// The test program of the storage-loss tests: it enters a mount namespace of its own before any thread
// exists, so the volumes the tests mount, unmount and fill are seen by nothing else on the system.

#include "engine/private_mounts.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

namespace morvane::testing {

namespace {

QString refusal;

bool WriteProcFile(const char* path, const QByteArray& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, text.constData(), text.size()) == text.size();
    ::close(fd);
    return written;
}

// Root enters a mount namespace of its own; anyone else a user namespace first, as root inside it.
void EnterPrivateMounts() {
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (::unshare(CLONE_NEWNS) != 0) {
        const int plainError = errno;
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) {
            refusal = QStringLiteral("mount namespaces are not allowed here (%1; as a user: %2)")
                          .arg(QString::fromLocal8Bit(std::strerror(plainError)),
                               QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        if (!WriteProcFile("/proc/self/setgroups", "deny") ||
            !WriteProcFile("/proc/self/uid_map", QByteArray("0 ") + QByteArray::number(uid) + " 1") ||
            !WriteProcFile("/proc/self/gid_map", QByteArray("0 ") + QByteArray::number(gid) + " 1")) {
            refusal = QStringLiteral("the user namespace's identity could not be set");
            return;
        }
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        refusal = QStringLiteral("the mounts could not be made private: ") +
                  QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

QString PrivateMountsRefusal() {
    return refusal;
}

} // namespace morvane::testing

int main(int argc, char** argv) {
    morvane::testing::EnterPrivateMounts();
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
