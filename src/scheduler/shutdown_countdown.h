#pragma once

#include "platform/power.h"

#include <QString>
#include <QTimer>

#include <functional>

namespace morvane {

// The shutdown dialog as the countdown drives it; user-interface thread only.
class IShutdownDialog {
public:
    virtual ~IShutdownDialog() = default;
    // Shows the dialog (unless it shows already) with `message` on its label, above other windows.
    virtual void ShowShutdownMessage(const QString& message) = 0;
    virtual void CloseShutdownDialog() = 0;
};

// The 60-second countdown before the end-of-run power-off. Its own one-second timer counts down; at
// zero it sets ClosingRequested and switches the computer off. "Cancel", closing the dialog and a
// failed switch-off all stop it, clear ClosingRequested and call `onCancelled`.
class TShutdownCountdown {
public:
    static constexpr int StartSeconds = 60;

    TShutdownCountdown(IPowerControl& power, IShutdownDialog& dialog, std::function<void()> onCancelled);

    // Starts from 60 and shows the dialog.
    void Start();
    // One second of the timer: counts down and updates the message, or switches off at zero.
    void OnSecond();
    // The "Shutdown" button: switch off at the next second.
    void ShutdownNow();
    // The "Cancel" button and the dialog's close box, while the countdown runs.
    void Cancel();

    bool IsShowing() const { return state_ != State::Idle; }
    bool IsTimerRunning() const { return timer_.isActive(); }
    int Countdown() const { return countdown_; }

    // The label for `seconds` left, translated.
    static QString MessageText(int seconds);

private:
    enum class State { Idle, Counting, SwitchingOff };

    // Cancel's work, also done when the switch-off fails.
    void StopAndResume();

    IPowerControl& power_;
    IShutdownDialog& dialog_;
    std::function<void()> onCancelled_;
    QTimer timer_;
    State state_ = State::Idle;
    int countdown_ = 0;
};

} // namespace morvane
