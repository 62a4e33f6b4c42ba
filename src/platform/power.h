#pragma once

#include <QString>

#include <memory>

namespace morvane {

// Keeping the computer awake and switching it off. Failures are swallowed: where no power service
// answers, KeepAwake and AllowSleep do nothing and SwitchOff reports false.
class IPowerControl {
public:
    virtual ~IPowerControl() = default;
    // Asks the system not to sleep or idle until AllowSleep; a second call changes nothing.
    virtual void KeepAwake() = 0;
    virtual void AllowSleep() = 0;
    // Powers the computer off without asking other programs; true when the request was accepted.
    virtual bool SwitchOff() = 0;
    // Restarts the computer into its boot menu, from which the recovery environment that restores a
    // drive image is started; true when the restart was accepted.
    virtual bool RestartIntoRecovery() = 0;
};

// The system's power control, through the login manager on the system message bus. User-interface
// thread only.
IPowerControl& SystemPowerControl();

// The same control through the login manager on the message bus at `busAddress`.
std::unique_ptr<IPowerControl> MakeLoginManagerPowerControl(const QString& busAddress);

} // namespace morvane
