#pragma once

#include "image/restore_guidance.h"
#include "jobs/job.h"

#include <QString>

namespace morvane {

// TJob_DriveImage::Restore in two steps, for a caller that must not wait for the storage on the thread
// that shows the guidance.

// Connects to the job's storage and disconnects again; returns what the connection gave. Takes no
// options copy: the caller has taken it. Any thread.
TConnectResult CheckDriveImageRestoreStorage(TJob_DriveImage& job);

// On the guidance's thread, with the check's answer: shows the failure (which is no error of the last
// run, so the errors count goes back to `errorsBefore`) or the guidance.
void ShowDriveImageRestoreOutcome(TJob_DriveImage& job, TDriveImageRestoreGuidance& guidance,
                                  const TConnectResult& connection, int32_t errorsBefore);

} // namespace morvane
