#include "target_checks.h"

#include "commands.h"
#include "imager_output.h"

#include <cerrno>

using namespace Qt::Literals::StringLiterals;

namespace morvane::imager {

int RefuseUnusableTarget(const Command& command) {
    if (IsNetworkLocation(command.target)) {
        PrintError(u"The backup storage location %1 is a network share; this tool writes to local folders "
                   u"only. Mount the share and give its folder."_s.arg(command.target));
        return kFailed;
    }
    if (command.credentialsGiven) {
        PrintError(u"The options -user and -password are for network storage only."_s);
        return kUsage;
    }
    if (IsDriveLetterForm(command.target)) {
        PrintError(u"The backup storage location %1 is a drive letter; give the folder where the storage is "
                   u"mounted, such as /media/backup."_s.arg(command.target));
        return kFailed;
    }
    if (const QString error = CheckTargetFolder(command.target); !error.isEmpty()) {
        PrintError(error);
        return kFailed;
    }
    return 0;
}

int PrepareAndLockStore(const ImageStore& store, TargetLock& lock) {
    if (const int error = CreateStoreFolders(store)) {
        if (error == ENOSPC || error == EDQUOT) {
            PrintLine(
                u"There is not enough free space on the backup storage location %1."_s.arg(store.target));
            return kNoSpace;
        }
        PrintError(
            u"The image folder %1 cannot be created: %2"_s.arg(store.hostFolder, SystemErrorText(error)));
        return kFailed;
    }
    switch (lock.Acquire(store.LockPath())) {
    case TargetLock::Result::Locked:
        return 0;
    case TargetLock::Result::Busy:
        PrintLine(
            u"Another backup or recovery operation is in progress on %1. Try again when it has ended."_s.arg(
                store.target));
        return kBusy;
    case TargetLock::Result::Failed:
        break;
    }
    PrintError(u"The lock file %1 cannot be opened: %2"_s.arg(store.LockPath(),
                                                              SystemErrorText(lock.errorNumber())));
    return kFailed;
}

void RemoveLeftovers(const ImageStore& store) {
    for (const QString& name : LeftoverFolders(store)) {
        PrintLine(u"Removing the unfinished folder %1."_s.arg(name));
        if (!RemoveStoreFolder(store.VersionPath(name)))
            PrintLine(u"The unfinished folder %1 could not be removed completely."_s.arg(name));
    }
}

} // namespace morvane::imager
