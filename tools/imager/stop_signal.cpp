#include "stop_signal.h"

#include <csignal>
#include <initializer_list>

namespace morvane::imager {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void OnStopSignal(int) {
    stopRequested = 1;
}

} // namespace

void InstallStopHandlers() {
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signalNumber, &action, nullptr);
}

bool StopRequested() {
    return stopRequested != 0;
}

} // namespace morvane::imager
