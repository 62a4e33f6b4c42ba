#pragma once

#include "scheduler/scheduler_tick.h"

namespace morvane {

// Starts the backup run of the job's kind: the files-and-folders run or the imaging-tool run.
class TJobStarter final : public IJobStarter {
public:
    void StartBackup(TJob& job) override;
};

} // namespace morvane
