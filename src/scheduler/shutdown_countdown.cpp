#include "scheduler/shutdown_countdown.h"

#include "i18n/translation.h"
#include "platform/program_state.h"

namespace morvane {

TShutdownCountdown::TShutdownCountdown(IPowerControl& power, IShutdownDialog& dialog,
                                       std::function<void()> onCancelled)
    : power_(power), dialog_(dialog), onCancelled_(std::move(onCancelled)) {
    timer_.setInterval(1000);
    QObject::connect(&timer_, &QTimer::timeout, [this] { OnSecond(); });
}

QString TShutdownCountdown::MessageText(int seconds) {
    // One literal, so the catalogue check finds the text.
    // clang-format off
    const QString text = Translate(QStringLiteral("All backup tasks are done. According to the program settings, the computer will be turned off after %s seconds."));
    // clang-format on
    return FormatText(text, {QString::number(seconds)});
}

void TShutdownCountdown::Start() {
    countdown_ = StartSeconds;
    state_ = State::Counting;
    timer_.start();
    dialog_.ShowShutdownMessage(MessageText(countdown_));
}

void TShutdownCountdown::OnSecond() {
    if (state_ != State::Counting)
        return;
    if (countdown_ > 0) {
        --countdown_;
        dialog_.ShowShutdownMessage(MessageText(countdown_));
        return;
    }
    timer_.stop();
    state_ = State::SwitchingOff;
    Program().ClosingRequested = true;
    if (!power_.SwitchOff()) {
        StopAndResume();
        return;
    }
    // The system ends the session now; the program closes through ClosingRequested.
    dialog_.CloseShutdownDialog();
}

void TShutdownCountdown::ShutdownNow() {
    if (state_ == State::Counting)
        countdown_ = 0;
}

void TShutdownCountdown::Cancel() {
    if (state_ == State::Counting)
        StopAndResume();
}

void TShutdownCountdown::StopAndResume() {
    timer_.stop();
    state_ = State::Idle;
    Program().ClosingRequested = false;
    onCancelled_();
    dialog_.CloseShutdownDialog();
}

} // namespace morvane
