#pragma once

#include "image/restore_guidance.h"
#include "jobs/job.h"

#include <QString>

namespace morvane {

// TJob_DriveImage::Restore in two steps, for a caller that must not wait for the storage on the thread
// that shows the guidance.

// Connects to the job's storage and disconnects again; returns what ConnectToStorage returned (the job
// folder, or a text beginning with the translated "ERROR:"). Takes no options copy: the caller has
// taken it. Any thread.
QString CheckDriveImageRestoreStorage(TJob_DriveImage& job);

// On the guidance's thread, with the check's answer: shows the failure (which is no error of the last
// run, so the errors count goes back to `errorsBefore`) or the guidance.
void ShowDriveImageRestoreOutcome(TJob_DriveImage& job, TDriveImageRestoreGuidance& guidance,
                                  const QString& jobFolder, int32_t errorsBefore);

} // namespace morvane
