#include "image/restore_guidance.h"

#include "platform/power.h"
#include "platform/program_state.h"

namespace morvane {

void RestartIntoRecoveryAndClose(IPowerControl& power) {
    Program().ClosingRequested = true;
    power.RestartIntoRecovery();
}

} // namespace morvane
