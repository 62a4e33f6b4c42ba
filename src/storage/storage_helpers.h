#pragma once

#include "platform/date_time.h"

#include <QString>

#include <cstdint>

namespace morvane {

// The long-path form of a Windows path: unchanged below the limit (247 characters for a folder, 260
// for a file), otherwise "\\?\" in front, or "\\?\UNC\" in place of a UNC path's leading "\\".
QString MakeLongPath(const QString& path, bool IsDirectory);

// The size of an existing local file, -1 when it does not exist.
int64_t GetFileSize64(const QString& path);

// "yyyy-mm-dd hh:nn:ss:zzz", each ':' written as the user's time separator.
QString FileTimeStampText(TDateTime value);

// A byte count for messages: "1.5 KB", "0 KB", "5 GB" (at most two decimals, the user's decimal
// separator, no thousands separator; below 1 MB and up to exactly 1 MB counted in KB).
QString SizeText(int64_t size);

// Deletes a local file or folder with everything below it. True when done, false when something is
// left; throws TStorageError ("Failed to create shell item: " and the path) when the path names nothing.
bool ForceDeleteShell(const QString& path);

// The storage's own files (job copies and list files) by their exact, case-sensitive extension.
bool IsInternalFile(const QString& path);

} // namespace morvane
