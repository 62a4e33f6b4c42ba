#pragma once

#include "platform/process.h"

#include <QString>

#include <mutex>
#include <ostream>
#include <vector>

namespace morvane::testing {

// Starts programs through the system's own service and keeps what it was asked, so a test sees which
// program each command went to. With `replacement` set, every program is started from that path
// instead (one that does not exist makes every start fail for real).
class RecordingProcesses final : public IProcessService {
public:
    struct Call {
        QString program;
        QString arguments;
        bool operator==(const Call&) const = default;
    };

    std::unique_ptr<IChildProcess> StartWithOutputPipe(const QString& program, const QString& arguments,
                                                       int& error) override {
        Record(started_, program, arguments);
        return SystemProcessService().StartWithOutputPipe(Target(program), arguments, error);
    }

    bool LaunchElevated(const QString& program, const QString& parameters) override {
        Record(launched_, program, parameters);
        return SystemProcessService().LaunchElevated(Target(program), parameters);
    }

    std::vector<Call> Started() const {
        const std::lock_guard lock(mutex_);
        return started_;
    }
    std::vector<Call> Launched() const {
        const std::lock_guard lock(mutex_);
        return launched_;
    }

    QString replacement;

private:
    void Record(std::vector<Call>& calls, const QString& program, const QString& arguments) {
        const std::lock_guard lock(mutex_);
        calls.push_back({program, arguments});
    }
    QString Target(const QString& program) const { return replacement.isEmpty() ? program : replacement; }

    mutable std::mutex mutex_;
    std::vector<Call> started_;
    std::vector<Call> launched_;
};

inline void PrintTo(const RecordingProcesses::Call& call, std::ostream* out) {
    *out << call.program.toStdString() << " | " << call.arguments.toStdString();
}

} // namespace morvane::testing
