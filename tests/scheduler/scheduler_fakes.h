#pragma once

#include "platform/elevation.h"
#include "platform/power.h"
#include "scheduler/scheduler_tick.h"
#include "scheduler/shutdown_countdown.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace morvane::testing {

// Starts a job as the real runs do (running, start time now) without any work; the test ends the run.
class FakeJobStarter final : public IJobStarter {
public:
    void StartBackup(TJob& job) override;
    QStringList Started;
    std::function<void(TJob&)> OnStart;
};

class FakeSchedulerWindow final : public ISchedulerWindow {
public:
    void RefreshAfterTick(const TSchedulerCounts& counts) override;
    void CloseForElevatedInstance() override { ++Closes; }
    int Refreshes = 0;
    TSchedulerCounts LastCounts;
    int Closes = 0;
};

class FakeShutdownDialog final : public IShutdownDialog {
public:
    void ShowShutdownMessage(const QString& message) override { Messages.append(message); }
    void CloseShutdownDialog() override { ++Closes; }
    QStringList Messages;
    int Closes = 0;
};

// Records the calls; never touches the real power state.
class FakePowerControl final : public IPowerControl {
public:
    void KeepAwake() override { Calls.append(QStringLiteral("keep awake")); }
    void AllowSleep() override { Calls.append(QStringLiteral("allow sleep")); }
    bool SwitchOff() override;
    bool RestartIntoRecovery() override {
        Calls.append(QStringLiteral("restart into recovery"));
        return RestartSucceeds;
    }
    QStringList Calls;
    bool RestartSucceeds = true;
    bool SwitchOffSucceeds = true;
};

// Answers elevation requests as the test says; never prompts.
class FakeElevation final : public IElevation {
public:
    bool RestartElevated(const QStringList& arguments) override;
    std::vector<QStringList> Requests;
    bool Accept = false;
    std::function<void()> OnRequest;
};

} // namespace morvane::testing
