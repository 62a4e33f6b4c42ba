#pragma once

#include "jobs/job.h"

#include <optional>

namespace morvane {

// Which context menu the job list offers.
enum class TJobListMenu { None, IdleJob, ActiveJob };

// The enabled state of the main window's commands for the selected job, set at every tick.
struct TCommandState {
    // Backup, Restore, Remove, Settings, Rename, Duplicate, History, View Log (and its drop-down) on
    // the toolbar and in the list menu, and the whole Edit menu.
    bool IdleJobCommands = false;
    // The Run menu's Backup and Restore.
    bool RunBackupRestore = false;
    // The Run menu's Pause (or Resume) and Cancel.
    bool RunPauseCancel = false;
    // The Pause items carry Resume instead.
    bool PauseIsResume = false;
    TJobListMenu ListMenu = TJobListMenu::None;

    bool operator==(const TCommandState&) const = default;
};

// The state for `selected` (nothing when no job is selected). A cancelling job keeps the Run menu
// and the list menu of `previous`, the state the last tick left.
TCommandState CommandStateFor(std::optional<TJobStatus> selected, const TCommandState& previous);

} // namespace morvane
