#pragma once

#include <QString>

#include <atomic>
#include <cstdint>

namespace morvane {

// Stores the copied share as a whole percentage (halves rounded to even) into `percent`; 0 while the
// total is 0. Does nothing without a target.
void CopyProgressRoutine(int64_t totalSize, int64_t transferred, std::atomic<int32_t>* percent);

struct TCopyFileSettings {
    std::atomic<int32_t>* Progress = nullptr;         // receives the percentage after each chunk
    const std::atomic<int32_t>* CancelFlag = nullptr; // non-zero stops the copy at the next chunk
    bool NoBuffering = false;                         // bypass the page cache where the file system allows
};

// Copies a file's content, replacing the target, and keeps its last-write time and permission bits.
// The target is replaced only by a complete copy: a failed or cancelled copy leaves no partial file
// and the previous target untouched. Returns 0 or an errno value (ECANCELED when
// the cancel flag stopped it).
int CopyLocalFile(const QString& source, const QString& target, const TCopyFileSettings& settings);

// True for the errors a file in use by someone else gives on Linux (busy, text busy, locked).
bool IsSharingViolation(int error);

} // namespace morvane
