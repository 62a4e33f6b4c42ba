#include "app/session_end.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace morvane {

namespace {

int pipeEnds[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    // Async-signal-safe; a full pipe already holds a wake-up.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
}

} // namespace

TTerminationSignals::TTerminationSignals(QObject* parent) : QObject(parent) {
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    notifier_ = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TTerminationSignals::Drain);
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

TTerminationSignals::~TTerminationSignals() {
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGHUP, SIG_DFL);
}

void TTerminationSignals::Drain() {
    char bytes[64];
    while (::read(pipeEnds[0], bytes, sizeof bytes) > 0) {
    }
    Q_EMIT Received();
}

} // namespace morvane
