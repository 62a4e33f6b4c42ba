#pragma once

#include <QString>

#include <atomic>
#include <cstdint>

namespace morvane {

// Stores the copied share as a whole percentage (halves rounded to even) into `percent`; 0 while the
// total is 0. Does nothing without a target.
void CopyProgressRoutine(int64_t totalSize, int64_t transferred, std::atomic<int32_t>* percent);

// How a copy reaches its target.
enum class TTargetWrite {
    // The target shows only a complete copy, even after a crash: written without a name (or under a
    // passing one) and named once complete. A failed copy leaves the previous target as it was.
    Atomic,
    // Only a new target: created and written directly, removed again when the copy fails or is
    // cancelled (a crash can leave it partial); EEXIST, with nothing written, when it exists. For
    // folders whose runs mark themselves interrupted, and for restored files.
    NewOnly,
    // A private working file, written directly over whatever is there and removed when the copy fails.
    InPlace,
};

struct TCopyFileSettings {
    std::atomic<int32_t>* Progress = nullptr;         // receives the percentage after each chunk
    const std::atomic<int32_t>* CancelFlag = nullptr; // non-zero stops the copy at the next chunk
    bool NoBuffering = false;                         // bypass the page cache where the file system allows
    TTargetWrite TargetWrite = TTargetWrite::Atomic;
    int64_t* SourceSize = nullptr; // receives the source's size once it is open
};

// Copies a file's content, replacing the target, and keeps its last-write time and permission bits.
// Only the data of a file with holes is copied, so the copy keeps the holes (except without
// buffering). A symbolic link at `source` is never followed: its copy is a small file holding the
// link's target. A failed or cancelled copy leaves no partial file and, except in place, the previous
// target untouched. Returns 0 or an errno value (ECANCELED when the cancel flag stopped it).
int CopyLocalFile(const QString& source, const QString& target, const TCopyFileSettings& settings);

// Moves a file onto `target` within one file system (EXDEV across two), replacing a file there only
// when `replace` is set (EEXIST otherwise). The moved file keeps its content, permission bits and times
// and gets the group a copy made at the target would get. Returns 0 or an errno value.
int MoveLocalFile(const QString& source, const QString& target, bool replace);

// True for the errors a file in use by someone else gives on Linux (busy, text busy, locked).
bool IsSharingViolation(int error);

} // namespace morvane
