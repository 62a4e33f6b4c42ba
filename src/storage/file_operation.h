#pragma once

#include "jobs/job.h"
#include "storage/storage_fs.h"

#include <memory>

namespace morvane {

class TSmbContext;

// Picks the file system for each path a job's file operation names: local paths go to the local one,
// SMB paths to the job's open connection (or to a connection of its own with the job's credentials
// when the job has none).
class TStorageAccess {
public:
    explicit TStorageAccess(const TJob& job);
    ~TStorageAccess();
    TStorageAccess(const TStorageAccess&) = delete;
    TStorageAccess& operator=(const TStorageAccess&) = delete;

    // Throws TStorageError when an SMB path cannot be reached.
    TStorageFileSystem& For(const QString& path);

private:
    const TJob& job_;
    std::unique_ptr<TStorageFileSystem> local_;
    std::unique_ptr<TSmbContext> ownContext_;
    std::unique_ptr<TStorageFileSystem> smb_;
};

} // namespace morvane
