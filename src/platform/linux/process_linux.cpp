#include "platform/process.h"

#include "platform/file_names.h"

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <thread>
#include <vector>

extern char** environ;

namespace morvane {

namespace {

constexpr char PolicyKitLauncher[] = "pkexec";
// The launcher's own codes for "not authorised" and "authentication failed or program not found".
constexpr int LauncherRefusedCodes[] = {126, 127};
constexpr int AuthenticationPollMilliseconds = 50;
// A prompt left unanswered this long counts as refused.
constexpr int MaxPromptMilliseconds = 5 * 60 * 1000;

void CloseDescriptor(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// The argument vector of a program, kept alive for the spawn call.
class ArgumentVector {
public:
    ArgumentVector(const QString& program, const QStringList& arguments) {
        storage_.push_back(NameToBytes(program));
        for (const QString& argument : arguments)
            storage_.push_back(NameToBytes(argument));
        for (QByteArray& item : storage_)
            pointers_.push_back(item.data());
        pointers_.push_back(nullptr);
    }
    char* const* Data() { return pointers_.data(); }

private:
    std::vector<QByteArray> storage_;
    std::vector<char*> pointers_;
};

// Spawn attributes that give the program an empty signal mask and default signal handling, whatever
// the calling thread blocks or this process ignores.
class CleanSignals {
public:
    CleanSignals() {
        ::posix_spawnattr_init(&attributes_);
        sigset_t none;
        sigemptyset(&none);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int signalNumber : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGCHLD, SIGQUIT})
            sigaddset(&defaults, signalNumber);
        ::posix_spawnattr_setsigmask(&attributes_, &none);
        ::posix_spawnattr_setsigdefault(&attributes_, &defaults);
        ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~CleanSignals() { ::posix_spawnattr_destroy(&attributes_); }
    CleanSignals(const CleanSignals&) = delete;
    CleanSignals& operator=(const CleanSignals&) = delete;
    const posix_spawnattr_t* Get() const { return &attributes_; }

private:
    posix_spawnattr_t attributes_{};
};

// Standard input from the null device; standard output and error to `outputFd`, or to the null device.
int Spawn(const QString& program, const QStringList& arguments, int outputFd, pid_t& pid) {
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (outputFd >= 0) {
        ::posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
        ::posix_spawn_file_actions_adddup2(&actions, outputFd, STDERR_FILENO);
    } else {
        ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        ::posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    }
    const CleanSignals signalSettings;
    ArgumentVector argv(program, arguments);
    const QByteArray file = NameToBytes(program);
    const int error =
        ::posix_spawnp(&pid, file.constData(), &actions, signalSettings.Get(), argv.Data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    return error;
}

// Collects a program nobody waits for any more once it ends, reading away its output meanwhile so it
// never blocks on a full pipe.
void ReapInBackground(pid_t pid, int outputFd) {
    std::thread([pid, outputFd] {
        if (outputFd >= 0) {
            char buffer[4096];
            while (true) {
                const ssize_t got = ::read(outputFd, buffer, sizeof buffer);
                if (got > 0 || (got < 0 && errno == EINTR))
                    continue;
                break;
            }
            ::close(outputFd);
        }
        while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

class PipedChildProcess final : public IChildProcess {
public:
    PipedChildProcess(pid_t pid, int outputFd) : pid_(pid), outputFd_(outputFd) {
        processFd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    }

    ~PipedChildProcess() override {
        CloseDescriptor(processFd_);
        if (reaped_) {
            CloseDescriptor(outputFd_);
        } else {
            ReapInBackground(pid_, outputFd_);
            outputFd_ = -1;
        }
    }

    PipedChildProcess(const PipedChildProcess&) = delete;
    PipedChildProcess& operator=(const PipedChildProcess&) = delete;

    bool WaitForEnd(int milliseconds) override {
        if (reaped_)
            return true;
        if (processFd_ < 0)
            return PollWithoutProcessDescriptor(milliseconds);
        pollfd entry{processFd_, POLLIN, 0};
        const int ready = ::poll(&entry, 1, milliseconds);
        if (ready == 0 || (ready < 0 && errno == EINTR))
            return false;
        // Ended, or the wait failed: either way the caller stops waiting.
        Reap(0);
        return true;
    }

    qint64 BytesAvailable() override {
        int available = 0;
        return ::ioctl(outputFd_, FIONREAD, &available) == 0 ? available : 0;
    }

    QByteArray Read(qint64 maximum) override {
        QByteArray bytes(maximum, Qt::Uninitialized);
        ssize_t got = -1;
        do {
            got = ::read(outputFd_, bytes.data(), static_cast<size_t>(maximum));
        } while (got < 0 && errno == EINTR);
        bytes.resize(got > 0 ? got : 0);
        return bytes;
    }

private:
    void Reap(int flags) {
        pid_t result = -1;
        do {
            result = ::waitpid(pid_, nullptr, flags);
        } while (result < 0 && errno == EINTR);
        if (result == pid_ || (result < 0 && errno == ECHILD))
            reaped_ = true;
    }

    // Kernels without process descriptors: ask every few milliseconds.
    bool PollWithoutProcessDescriptor(int milliseconds) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (true) {
            Reap(WNOHANG);
            if (reaped_ || std::chrono::steady_clock::now() >= deadline)
                return reaped_;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    pid_t pid_;
    int outputFd_;
    int processFd_ = -1;
    bool reaped_ = false;
};

// The kernel's short name of a process, empty once it is gone.
QByteArray ProcessName(pid_t pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return comm.readAll().trimmed();
}

class SystemProcesses final : public IProcessService {
public:
    std::unique_ptr<IChildProcess> StartWithOutputPipe(const QString& program, const QString& arguments,
                                                       int& error) override {
        int fds[2] = {-1, -1};
        if (::pipe2(fds, O_CLOEXEC) != 0) {
            error = errno;
            return nullptr;
        }
        pid_t pid = 0;
        error = Spawn(program, SplitCommandLine(arguments), fds[1], pid);
        CloseDescriptor(fds[1]);
        if (error != 0) {
            CloseDescriptor(fds[0]);
            return nullptr;
        }
        return std::make_unique<PipedChildProcess>(pid, fds[0]);
    }

    bool LaunchElevated(const QString& program, const QString& parameters) override {
        QStringList arguments = SplitCommandLine(parameters);
        if (::geteuid() == 0) {
            pid_t pid = 0;
            if (Spawn(program, arguments, -1, pid) != 0)
                return false;
            ReapInBackground(pid, -1);
            return true;
        }
        arguments.prepend(program);
        pid_t pid = 0;
        if (Spawn(QString::fromLatin1(PolicyKitLauncher), arguments, -1, pid) != 0)
            return false;
        return WaitWhileAuthenticating(pid);
    }

private:
    // The launcher keeps its name until the user has authenticated and it has replaced itself with the
    // program; it ends with one of its own codes when authentication fails or is dismissed.
    static bool WaitWhileAuthenticating(pid_t pid) {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(MaxPromptMilliseconds);
        while (true) {
            int status = 0;
            const pid_t ended = ::waitpid(pid, &status, WNOHANG);
            if (ended == pid) {
                if (!WIFEXITED(status))
                    return false;
                for (int code : LauncherRefusedCodes)
                    if (WEXITSTATUS(status) == code)
                        return false;
                return true;
            }
            if (ended < 0 && errno != EINTR)
                return false;
            const QByteArray name = ProcessName(pid);
            if (!name.isEmpty() && name != PolicyKitLauncher) {
                ReapInBackground(pid, -1);
                return true;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                ReapInBackground(pid, -1);
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(AuthenticationPollMilliseconds));
        }
    }
};

} // namespace

IProcessService& SystemProcessService() {
    static SystemProcesses service;
    return service;
}

QStringList SplitCommandLine(const QString& text) {
    QStringList arguments;
    QString current;
    bool started = false;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\') {
            qsizetype count = 0;
            while (i < text.size() && text[i] == u'\\') {
                ++count;
                ++i;
            }
            const bool beforeQuote = i < text.size() && text[i] == u'"';
            current += QString(beforeQuote ? count / 2 : count, u'\\');
            if (beforeQuote && count % 2 == 1)
                current += u'"';
            else
                --i; // the quote (or other character) is handled by the next round
            started = true;
        } else if (c == u'"') {
            quoted = !quoted;
            started = true;
        } else if ((c == u' ' || c == u'\t') && !quoted) {
            if (started)
                arguments.append(current);
            current.clear();
            started = false;
        } else {
            current += c;
            started = true;
        }
    }
    if (started)
        arguments.append(current);
    return arguments;
}

} // namespace morvane
