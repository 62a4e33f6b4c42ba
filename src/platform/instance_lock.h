#pragma once

#include <QString>

#include <cstdint>

namespace morvane {

// The per-user lock held by the program instance that owns the jobs (the desktop program or the
// headless scheduler). The system drops it when the holding process ends, however it ends.
class TInstanceLock {
public:
    // Tries once to take the lock at `path`, creating the file when needed; never waits.
    explicit TInstanceLock(const QString& path);
    ~TInstanceLock();
    TInstanceLock(const TInstanceLock&) = delete;
    TInstanceLock& operator=(const TInstanceLock&) = delete;

    bool Held() const { return fd_ >= 0; }
    // Why the lock could not be taken when no other process holds it (an unwritable folder), or empty.
    QString Problem() const { return problem_; }
    // The process id the holder wrote into the lock file, or 0 when unknown.
    static int64_t HolderProcessId(const QString& path);

private:
    int fd_ = -1;
    QString problem_;
};

// The lock file of this user's instance, in the application directory.
QString InstanceLockPath();

} // namespace morvane
