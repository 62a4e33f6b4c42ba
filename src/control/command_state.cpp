#include "control/command_state.h"

namespace morvane {

TCommandState CommandStateFor(std::optional<TJobStatus> selected, const TCommandState& previous) {
    TCommandState state;
    if (!selected)
        return state;
    state.IdleJobCommands = *selected == jsNone;
    switch (*selected) {
    case jsNone:
        state.RunBackupRestore = true;
        state.ListMenu = TJobListMenu::IdleJob;
        break;
    case jsWaiting:
    case jsRunning:
    case jsPaused:
        state.RunPauseCancel = true;
        state.PauseIsResume = *selected == jsPaused;
        state.ListMenu = TJobListMenu::ActiveJob;
        break;
    case jsCancelling:
        state.RunBackupRestore = previous.RunBackupRestore;
        state.RunPauseCancel = previous.RunPauseCancel;
        state.PauseIsResume = previous.PauseIsResume;
        state.ListMenu = previous.ListMenu;
        break;
    }
    return state;
}

} // namespace morvane
