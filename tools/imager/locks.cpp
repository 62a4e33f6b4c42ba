#include "locks.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane::imager {

namespace {

const char kRunFolderVariable[] = "MORVANE_IMAGER_RUN_DIR";
const char kDefaultRunFolder[] = "/run/morvane-imager";

bool WriteText(int fd, const QByteArray& text) {
    return ::ftruncate(fd, 0) == 0 && ::pwrite(fd, text.constData(), text.size(), 0) == text.size();
}

QByteArray ReadText(int fd) {
    QByteArray text(4096, '\0');
    const ssize_t count = ::pread(fd, text.data(), text.size(), 0);
    text.truncate(count < 0 ? 0 : count);
    return text;
}

bool IsLockedByOther(int fd) {
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
        ::flock(fd, LOCK_UN);
        return false;
    }
    return errno == EWOULDBLOCK;
}

// Entries in the run folder decide which processes "stop job" signals, so the folder must be a real folder
// that only this user can change.
bool IsPrivateFolder(const QByteArray& folder) {
    struct stat status = {};
    return ::lstat(folder.constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == ::geteuid() && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace

TargetLock::~TargetLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

TargetLock::Result TargetLock::Acquire(const QString& path) {
    fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) {
        error_ = errno;
        return Result::Failed;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        error_ = errno;
        return error_ == EWOULDBLOCK ? Result::Busy : Result::Failed;
    }
    // The process id is for people looking at the target; the lock itself is the flock.
    WriteText(fd_, QByteArray::number(::getpid()) + '\n');
    return Result::Locked;
}

QString RunFolder() {
    const QByteArray configured = qgetenv(kRunFolderVariable);
    return configured.isEmpty() ? QString::fromLatin1(kDefaultRunFolder) : QFile::decodeName(configured);
}

RunRegistration::~RunRegistration() {
    if (fd_ < 0)
        return;
    // Removed before the lock goes, so a stop request that sees the lock released finds no entry.
    ::unlink(QFile::encodeName(path_).constData());
    ::close(fd_);
}

int RunRegistration::Register(const QString& target) {
    const QByteArray folder = QFile::encodeName(RunFolder());
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST)
        return errno;
    if (!IsPrivateFolder(folder))
        return EPERM;
    // Written under a temporary name and renamed, so "stop job" never sees an entry that is not locked yet.
    const QByteArray pid = QByteArray::number(::getpid());
    const QByteArray temporary = folder + '/' + pid + ".new";
    const QByteArray final = folder + '/' + pid + ".run";
    ::unlink(temporary.constData());
    fd_ = ::open(temporary.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0)
        return errno;
    if (::flock(fd_, LOCK_EX) != 0 || !WriteText(fd_, pid + '\n' + QFile::encodeName(target) + '\n') ||
        ::rename(temporary.constData(), final.constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        ::close(fd_);
        fd_ = -1;
        return error;
    }
    path_ = QFile::decodeName(final);
    return 0;
}

std::optional<std::vector<ActiveRun>> FindActiveRuns() {
    std::vector<ActiveRun> runs;
    const QDir folder(RunFolder());
    if (!folder.exists())
        return runs;
    if (!IsPrivateFolder(QFile::encodeName(folder.path())))
        return std::nullopt;
    static const QRegularExpression entryName(u"^[0-9]+\\.run$"_s);
    for (const QString& name : folder.entryList(QDir::Files | QDir::System | QDir::Hidden)) {
        if (!entryName.match(name).hasMatch())
            continue;
        const QByteArray path = QFile::encodeName(folder.filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        if (!IsLockedByOther(fd)) {
            ::unlink(path.constData());
            ::close(fd);
            continue;
        }
        const QList<QByteArray> lines = ReadText(fd).split('\n');
        ActiveRun run;
        run.pid = lines.value(0).toInt();
        run.target = QFile::decodeName(lines.value(1));
        run.fd = fd;
        // 0, 1 and negative numbers would signal a process group, init or every process.
        if (run.pid > 1)
            runs.push_back(run);
        else
            ::close(fd);
    }
    return runs;
}

bool WaitForRunsToEnd(std::vector<ActiveRun>& runs, int timeoutSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    bool allEnded = false;
    while (!allEnded && std::chrono::steady_clock::now() < deadline) {
        allEnded = true;
        for (const ActiveRun& run : runs)
            allEnded = allEnded && !IsLockedByOther(run.fd);
        if (!allEnded)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    for (ActiveRun& run : runs) {
        ::close(run.fd);
        run.fd = -1;
    }
    return allEnded;
}

} // namespace morvane::imager
