#include "scheduler/job_starter.h"

namespace morvane {

void TJobStarter::StartBackup(TJob& job) {
    switch (job.JobKind()) {
    case TJob::Kind::FilesAndFolders:
        static_cast<TJob_FilesAndFolders&>(job).Backup();
        return;
    case TJob::Kind::DriveImage:
        static_cast<TJob_DriveImage&>(job).Backup();
        return;
    }
}

} // namespace morvane
