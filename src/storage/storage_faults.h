#pragma once

#include "storage/storage_fs.h"

#include <memory>

namespace morvane {

// Fault injection for tests that drive a whole program, chosen by the MORVANE_FAULT environment
// variable, read once:
//   count[:KIND]        prints "morvane-fault: N operations" on stderr at the end of the process
//   KIND:K:ERROR        the K-th operation (1-based) fails with ERROR (EIO, ENOSPC, … or a number) as the
//                       storage itself would fail; later operations work again
//   KIND:K:kill         the process ends with SIGKILL at the K-th operation
// KIND is "any" or one kind of operation (stat, attrs, delete, rmdir, rmtree, mkdir, rename, replace,
// open-read, open-write, read, write, finish, list, flush, copy). The faulted operation is named on
// stderr first. Without the variable every file system is returned as it is.
enum class TStorageOperation {
    Stat,
    Attributes,
    Delete,
    RemoveDirectory,
    RemoveTree,
    CreateDirectories,
    Rename,
    Replace,
    OpenForReading,
    OpenForWriting,
    Read,
    Write,
    Finish,
    List,
    Flush,
    Copy,
};

// True when MORVANE_FAULT asks for anything.
bool StorageFaultsEnabled();

// Reads MORVANE_FAULT again and counts from zero, for tests that fail several runs in one process.
// Only while no job is running.
void ReloadStorageFaults();

// The file system itself, or one that counts its operations (and fails one) when faults are enabled.
std::unique_ptr<TStorageFileSystem> WithStorageFaults(std::unique_ptr<TStorageFileSystem> fileSystem);

// Counts one operation; 0, or the errno it is to fail with. Ends the process at a kill point.
int CountStorageOperation(TStorageOperation operation, const QString& path);

// The kill point of a file copy the kernel does in one call: the target's visible part (a direct
// write's half, nothing of an atomic one) is left as a crash in the middle would leave it.
int CountLocalCopy(const QString& source, const QString& target, TTargetWrite targetWrite);

} // namespace morvane
