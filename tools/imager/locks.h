#pragma once

#include <QString>

#include <sys/types.h>

#include <optional>
#include <vector>

namespace morvane::imager {

// An exclusive flock on a file that stays in place; the kernel releases it when the process ends, so a
// crashed run never leaves a stale lock behind.
class TargetLock {
public:
    enum class Result { Locked, Busy, Failed };

    TargetLock() = default;
    TargetLock(const TargetLock&) = delete;
    TargetLock& operator=(const TargetLock&) = delete;
    ~TargetLock();

    // On Failed, errorNumber() tells why.
    Result Acquire(const QString& path);
    int errorNumber() const { return error_; }

private:
    int fd_ = -1;
    int error_ = 0;
};

// Each running backup keeps an entry "<pid>.run" in the run folder, locked for as long as the backup
// lives; "stop job" has no target argument and finds the backups to stop there.
QString RunFolder();

class RunRegistration {
public:
    RunRegistration() = default;
    RunRegistration(const RunRegistration&) = delete;
    RunRegistration& operator=(const RunRegistration&) = delete;
    ~RunRegistration();

    // Returns 0 or the errno of the step that failed; EPERM when the run folder is open to others.
    int Register(const QString& target);

private:
    int fd_ = -1;
    QString path_;
};

struct ActiveRun {
    pid_t pid = 0;
    QString target;
    int fd = -1; // open on the run's entry; closed by WaitForRunsToEnd
};

// The backups that are running now; entries left by ended runs are removed on the way. Empty when the
// run folder does not exist; nullopt when someone else could write to it.
std::optional<std::vector<ActiveRun>> FindActiveRuns();
// Waits until every run has released its entry; false when some still hold it after the timeout.
bool WaitForRunsToEnd(std::vector<ActiveRun>& runs, int timeoutSeconds);

} // namespace morvane::imager
