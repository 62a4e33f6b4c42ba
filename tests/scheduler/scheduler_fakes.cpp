#include "scheduler_fakes.h"

namespace morvane::testing {

void FakeJobStarter::StartBackup(TJob& job) {
    Started.append(job.stJobName);
    job.JobStatus = jsRunning;
    job.LastJobResult.StartTime = Now();
    if (OnStart)
        OnStart(job);
}

void FakeSchedulerWindow::RefreshAfterTick(const TSchedulerCounts& counts) {
    ++Refreshes;
    LastCounts = counts;
}

bool FakePowerControl::SwitchOff() {
    Calls.append(QStringLiteral("switch off"));
    return SwitchOffSucceeds;
}

bool FakeElevation::RestartElevated(const QStringList& arguments) {
    Requests.push_back(arguments);
    if (OnRequest)
        OnRequest();
    return Accept;
}

} // namespace morvane::testing
