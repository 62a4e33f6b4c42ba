#pragma once

#include <QString>

#include <cstdint>

namespace morvane {

class TJob;

inline constexpr int32_t JobFileVersion = 5;

// The local job file of a job: the directory + the job's name + ".qkd".
QString LocalJobFilePath(const QString& applicationDirectory, const QString& jobName);

// 0 when the file is missing or unreadable (with an events line), otherwise the kind its header
// states: 1 files-and-folders, 2 drive image. Files of version 3 or less are files-and-folders jobs.
// Messages are translated through `translator` when given (workers pass their job).
int GetJobFileKind(const QString& fileName, const TJob* translator = nullptr);

} // namespace morvane
