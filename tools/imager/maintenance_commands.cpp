#include "commands.h"
#include "image_store.h"
#include "imager_output.h"
#include "locks.h"
#include "target_checks.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace morvane::imager {

namespace {

constexpr int kStopTimeoutSeconds = 60;

// A version is renamed first, so a deletion cut short leaves a ".deleting" folder that the next run
// removes, never a version that looks whole but is not.
bool DeleteVersion(const ImageStore& store, const QString& name) {
    const QString doomed = store.VersionPath(name + u".deleting"_s);
    if (std::rename(QFile::encodeName(store.VersionPath(name)).constData(),
                    QFile::encodeName(doomed).constData()) != 0) {
        PrintError(u"The backup version %1 cannot be deleted: %2"_s.arg(name, SystemErrorText(errno)));
        return false;
    }
    if (!RemoveStoreFolder(doomed)) {
        PrintError(u"The backup version %1 could not be deleted completely."_s.arg(name));
        return false;
    }
    PrintLine(u"Deleted the backup version %1."_s.arg(name));
    return true;
}

} // namespace

int RunDelete(const Command& command) {
    if (const int refused = RefuseUnusableTarget(command))
        return refused;
    const ImageStore store = StoreOn(command.target);
    if (!QFileInfo::exists(store.hostFolder)) {
        PrintLine(u"There are no backup versions on %1."_s.arg(store.target));
        return kSuccess;
    }
    TargetLock lock;
    if (const int refused = PrepareAndLockStore(store, lock))
        return refused;
    RemoveLeftovers(store);
    const QStringList versions = FinishedVersions(store);
    const qsizetype surplus = versions.size() - command.keepVersions;
    bool allDeleted = true;
    for (qsizetype index = 0; index < surplus; ++index)
        allDeleted = DeleteVersion(store, versions[index]) && allDeleted;
    SyncFolder(store.hostFolder);
    if (!allDeleted)
        return kFailed;
    PrintLine(u"The delete operation successfully completed. Versions kept: %1."_s.arg(
        FinishedVersions(store).size()));
    return kSuccess;
}

int RunStop() {
    std::optional<std::vector<ActiveRun>> found = FindActiveRuns();
    if (!found) {
        PrintError(
            u"The run folder %1 can be changed by other users; no backup is stopped."_s.arg(RunFolder()));
        return kFailed;
    }
    std::vector<ActiveRun>& runs = *found;
    if (runs.empty()) {
        PrintLine(u"There is no backup operation in progress."_s);
        return kSuccess;
    }
    for (const ActiveRun& run : runs) {
        PrintLine(u"Stopping the backup operation on %1."_s.arg(run.target));
        ::kill(run.pid, SIGTERM);
    }
    if (!WaitForRunsToEnd(runs, kStopTimeoutSeconds)) {
        PrintError(u"The backup operation did not stop within %1 seconds."_s.arg(kStopTimeoutSeconds));
        return kFailed;
    }
    PrintLine(u"The backup operation was stopped."_s);
    return kSuccess;
}

} // namespace morvane::imager
