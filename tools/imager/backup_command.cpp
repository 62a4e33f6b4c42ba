#include "commands.h"
#include "image_store.h"
#include "imager_output.h"
#include "locks.h"
#include "stop_signal.h"
#include "target_checks.h"
#include "volume_archiver.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace morvane::imager {

namespace {

const QString kManifestName = u"manifest.json"_s;

// 0 when the volume can be read, else an errno; ENOTDIR for anything but a folder.
int OpenVolume(const QString& path, FileIdentity& identity) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat status = {};
    const int result = ::fstat(fd, &status) == 0 ? 0 : errno;
    ::close(fd);
    identity = {status.st_dev, status.st_ino};
    return result;
}

bool ResolveVolume(const QString& given, std::vector<VolumeSource>& volumes) {
    if (IsDriveLetterForm(given)) {
        PrintError(u"The volume %1 is a drive letter; give the folder where the volume is mounted, such as / "
                   u"or /home."_s.arg(given));
        return false;
    }
    if (QDir::isRelativePath(given)) {
        PrintError(u"The volume %1 is not an absolute folder path."_s.arg(given));
        return false;
    }
    VolumeSource volume{QDir::cleanPath(given), {}};
    if (const int error = OpenVolume(volume.path, volume.identity)) {
        PrintError(u"The volume %1 cannot be read: %2"_s.arg(given, SystemErrorText(error)));
        return false;
    }
    volumes.push_back(volume);
    return true;
}

bool ResolveVolumes(const QStringList& given, std::vector<VolumeSource>& volumes) {
    bool allReadable = true;
    for (const QString& path : given)
        allReadable = ResolveVolume(path, volumes) && allReadable;
    return allReadable;
}

// A volume inside the image folder would archive the archives being written.
bool VolumesLieOutsideStore(const std::vector<VolumeSource>& volumes, const ImageStore& store) {
    const QString images = QFileInfo(store.imagesRoot).canonicalFilePath();
    bool outside = true;
    for (const VolumeSource& volume : volumes) {
        const QString path = QFileInfo(volume.path).canonicalFilePath();
        if (path == images || path.startsWith(images + u'/')) {
            PrintError(
                u"The volume %1 lies inside the image folder %2."_s.arg(volume.path, store.imagesRoot));
            outside = false;
        }
    }
    return outside;
}

struct VersionContents {
    std::vector<VolumeSource> volumes;
    std::vector<VolumeResult> results;
    int Errors() const {
        int errors = 0;
        for (const VolumeResult& result : results)
            errors += result.errors;
        return errors;
    }
};

QString ArchiveName(size_t index) {
    return u"volume-%1.tar.zst"_s.arg(index + 1);
}

QByteArray ManifestText(const VersionContents& contents) {
    QJsonArray volumes;
    for (size_t index = 0; index < contents.volumes.size(); ++index) {
        const VolumeResult& result = contents.results[index];
        volumes.append(QJsonObject{{u"path"_s, contents.volumes[index].path},
                                   {u"archive"_s, ArchiveName(index)},
                                   {u"entries"_s, static_cast<qint64>(result.entries)},
                                   {u"bytes"_s, static_cast<qint64>(result.bytes)},
                                   {u"unreadable"_s, result.errors}});
    }
    const QJsonObject manifest{{u"format"_s, 1},
                               {u"host"_s, QSysInfo::machineHostName()},
                               {u"finished"_s, QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
                               {u"volumes"_s, volumes}};
    return QJsonDocument(manifest).toJson();
}

// 0 or an errno.
int WriteManifest(const QString& folder, const VersionContents& contents) {
    const QByteArray text = ManifestText(contents);
    const QByteArray path = QFile::encodeName(folder + u'/' + kManifestName);
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return errno;
    const bool written = ::write(fd, text.constData(), text.size()) == text.size() && ::fsync(fd) == 0;
    const int error = written ? 0 : (errno ? errno : EIO);
    ::close(fd);
    return error;
}

class VersionWriter {
public:
    VersionWriter(const ImageStore& store, const std::vector<VolumeSource>& volumes) : store_(store) {
        contents_.volumes = volumes;
    }

    int Write() {
        name_ = NewVersionName(store_);
        partial_ = store_.VersionPath(name_ + u".partial"_s);
        if (::mkdir(QFile::encodeName(partial_).constData(), 0700) != 0)
            return Abandon(errno == ENOSPC || errno == EDQUOT ? ArchiveOutcome::NoSpace
                                                              : ArchiveOutcome::Failed);
        FileIdentity skip;
        struct stat status = {};
        if (::stat(QFile::encodeName(store_.imagesRoot).constData(), &status) == 0)
            skip = {status.st_dev, status.st_ino};
        quint64 weight = 0;
        for (const VolumeSource& volume : contents_.volumes) {
            if (!MeasureVolume(volume, skip, weight))
                return Abandon(ArchiveOutcome::Stopped);
        }
        ProgressMeter progress(weight);
        for (size_t index = 0; index < contents_.volumes.size(); ++index) {
            const VolumeSource& volume = contents_.volumes[index];
            contents_.results.push_back(
                ArchiveVolume(volume, skip, partial_ + u'/' + ArchiveName(index), progress));
            if (contents_.results.back().outcome != ArchiveOutcome::Written)
                return Abandon(contents_.results.back().outcome);
        }
        if (StopRequested())
            return Abandon(ArchiveOutcome::Stopped);
        return Finish(progress);
    }

private:
    int Finish(ProgressMeter& progress) {
        if (const int error = WriteManifest(partial_, contents_)) {
            if (error == ENOSPC || error == EDQUOT)
                return Abandon(ArchiveOutcome::NoSpace);
            PrintError(u"The version's manifest cannot be written: %1"_s.arg(SystemErrorText(error)));
            return Abandon(ArchiveOutcome::Failed);
        }
        SyncFolder(partial_);
        const QString finished = store_.VersionPath(name_);
        if (::rename(QFile::encodeName(partial_).constData(), QFile::encodeName(finished).constData()) != 0) {
            PrintError(u"The version %1 cannot be completed: %2"_s.arg(name_, SystemErrorText(errno)));
            return Abandon(ArchiveOutcome::Failed);
        }
        SyncFolder(store_.hostFolder);
        progress.Finish();
        return Report(finished);
    }

    int Report(const QString& finished) {
        const int errors = contents_.Errors();
        if (errors == 0)
            PrintLine(u"The backup operation successfully completed."_s);
        else
            PrintLine(u"The backup operation completed, but %1 items could not be read."_s.arg(errors));
        PrintLine(u"The image version is in %1."_s.arg(finished));
        return errors == 0 ? kSuccess : kFailed;
    }

    int Abandon(ArchiveOutcome outcome) {
        if (!partial_.isEmpty() && QFileInfo::exists(partial_)) {
            RemoveStoreFolder(partial_);
            SyncFolder(store_.hostFolder);
        }
        switch (outcome) {
        case ArchiveOutcome::Stopped:
            PrintLine(
                u"The backup operation was stopped before it completed; the unfinished version was removed."_s);
            return kStopped;
        case ArchiveOutcome::NoSpace:
            PrintLine(
                u"There is not enough free space on the backup storage location %1 to create the backup."_s
                    .arg(store_.target));
            return kNoSpace;
        case ArchiveOutcome::Written:
        case ArchiveOutcome::Failed:
            break;
        }
        PrintError(u"The backup operation did not complete; no version was written."_s);
        return kFailed;
    }

    const ImageStore& store_;
    VersionContents contents_;
    QString name_;
    QString partial_;
};

} // namespace

int RunBackup(const Command& command) {
    // Installed before anything is created, so a stop request always finds a backup that cleans up.
    InstallStopHandlers();
    if (const int refused = RefuseUnusableTarget(command))
        return refused;
    std::vector<VolumeSource> volumes;
    if (!ResolveVolumes(command.volumes, volumes))
        return kFailed;
    const ImageStore store = StoreOn(command.target);
    TargetLock lock;
    if (const int refused = PrepareAndLockStore(store, lock))
        return refused;
    if (!VolumesLieOutsideStore(volumes, store))
        return kFailed;
    RunRegistration registration;
    if (const int error = registration.Register(store.target)) {
        const QString reason =
            error == EPERM ? u"the folder can be changed by other users"_s : SystemErrorText(error);
        PrintError(u"The backup operation cannot be registered in %1: %2"_s.arg(RunFolder(), reason));
        return kFailed;
    }
    RemoveLeftovers(store);
    return VersionWriter(store, volumes).Write();
}

} // namespace morvane::imager
