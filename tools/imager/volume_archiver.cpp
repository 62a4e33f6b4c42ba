#include "volume_archiver.h"

#include "imager_output.h"
#include "stop_signal.h"

#include <QFile>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane::imager {

namespace {

struct ArchiveDeleter {
    void operator()(archive* handle) const { archive_free(handle); }
};
struct EntryDeleter {
    void operator()(archive_entry* entry) const { archive_entry_free(entry); }
};
struct LinkResolverDeleter {
    void operator()(archive_entry_linkresolver* resolver) const { archive_entry_linkresolver_free(resolver); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveDeleter>;
using EntryPtr = std::unique_ptr<archive_entry, EntryDeleter>;

int KeepEntryOutsideSkippedFolder(archive*, void* data, archive_entry* entry) {
    const auto* skip = static_cast<const FileIdentity*>(data);
    return !(archive_entry_dev(entry) == skip->device &&
             static_cast<ino_t>(archive_entry_ino(entry)) == skip->inode);
}

QString ArchiveErrorText(archive* handle) {
    const char* text = archive_error_string(handle);
    return text ? QString::fromLocal8Bit(text) : SystemErrorText(archive_errno(handle));
}

// Walks a volume in physical mode: symbolic links are stored as links, mount points are entered by
// name only, and sparse files are read whole so their size is what the archive holds.
class VolumeWalker {
public:
    VolumeWalker(const VolumeSource& volume, const FileIdentity& skip, int extraBehaviour)
        : disk_(archive_read_disk_new()), root_(QFile::encodeName(volume.path)), skip_(skip) {
        archive_read_disk_set_symlink_physical(disk_.get());
        archive_read_disk_set_standard_lookup(disk_.get());
        archive_read_disk_set_behavior(disk_.get(), ARCHIVE_READDISK_NO_TRAVERSE_MOUNTS |
                                                        ARCHIVE_READDISK_NO_SPARSE | extraBehaviour);
        archive_read_disk_set_metadata_filter_callback(disk_.get(), KeepEntryOutsideSkippedFolder, &skip_);
        opened_ = archive_read_disk_open(disk_.get(), root_.constData()) == ARCHIVE_OK;
    }

    bool opened() const { return opened_; }
    archive* handle() const { return disk_.get(); }

    // ARCHIVE_OK or ARCHIVE_WARN: `entry` is ready; ARCHIVE_FAILED: this entry is unreadable, go on;
    // ARCHIVE_EOF or ARCHIVE_FATAL: the walk is over.
    int Next(archive_entry* entry) {
        archive_entry_clear(entry);
        const int result = archive_read_next_header2(disk_.get(), entry);
        if (result == ARCHIVE_OK || result == ARCHIVE_WARN)
            archive_read_disk_descend(disk_.get());
        return result;
    }

    // The entry's name inside the archive: "./" for the volume's root, "./<relative path>" below it.
    QByteArray ArchiveName(archive_entry* entry) const {
        QByteArray name = archive_entry_pathname(entry);
        if (name.startsWith(root_))
            name.remove(0, root_.size());
        while (name.startsWith('/'))
            name.remove(0, 1);
        return "./" + name;
    }

private:
    ArchivePtr disk_;
    QByteArray root_;
    FileIdentity skip_;
    bool opened_ = false;
};

ArchiveOutcome WriteFailure(archive* writer, const QString& volumePath) {
    const int error = archive_errno(writer);
    if (error == ENOSPC || error == EDQUOT)
        return ArchiveOutcome::NoSpace;
    PrintError(u"Writing the image of the volume %1 failed: %2"_s.arg(volumePath, ArchiveErrorText(writer)));
    return ArchiveOutcome::Failed;
}

class VolumeWriter {
public:
    VolumeWriter(const VolumeSource& volume, const FileIdentity& skip, ProgressMeter& progress)
        : volume_(volume), walker_(volume, skip, 0), writer_(archive_write_new()),
          resolver_(archive_entry_linkresolver_new()), progress_(progress) {}

    VolumeResult Write(const QString& archivePath) {
        if (!walker_.opened()) {
            PrintError(
                u"The volume %1 cannot be read: %2"_s.arg(volume_.path, ArchiveErrorText(walker_.handle())));
            ++result_.errors;
            return result_;
        }
        const QByteArray path = QFile::encodeName(archivePath);
        fd_ = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd_ < 0) {
            const int error = errno;
            result_.outcome =
                (error == ENOSPC || error == EDQUOT) ? ArchiveOutcome::NoSpace : ArchiveOutcome::Failed;
            if (result_.outcome == ArchiveOutcome::Failed)
                PrintError(u"The file %1 cannot be created: %2"_s.arg(archivePath, SystemErrorText(error)));
            return result_;
        }
        result_.outcome = WriteAllEntries();
        if (result_.outcome == ArchiveOutcome::Written)
            result_.outcome = Close();
        ::close(fd_);
        return result_;
    }

private:
    ArchiveOutcome OpenWriter() {
        archive_write_set_format_pax_restricted(writer_.get());
        if (archive_write_add_filter_zstd(writer_.get()) != ARCHIVE_OK)
            return WriteFailure(writer_.get(), volume_.path);
        archive_write_set_bytes_in_last_block(writer_.get(), 1);
        archive_entry_linkresolver_set_strategy(resolver_.get(), archive_format(writer_.get()));
        if (archive_write_open_fd(writer_.get(), fd_) != ARCHIVE_OK)
            return WriteFailure(writer_.get(), volume_.path);
        return ArchiveOutcome::Written;
    }

    ArchiveOutcome WriteAllEntries() {
        if (const ArchiveOutcome opened = OpenWriter(); opened != ArchiveOutcome::Written)
            return opened;
        const EntryPtr entry(archive_entry_new());
        while (!StopRequested()) {
            const int status = walker_.Next(entry.get());
            if (status == ARCHIVE_EOF)
                return ArchiveOutcome::Written;
            if (status == ARCHIVE_FATAL) {
                ReportUnreadable(QFile::decodeName(walker_.ArchiveName(entry.get())));
                return ArchiveOutcome::Written;
            }
            if (status == ARCHIVE_FAILED) {
                ReportUnreadable(QFile::decodeName(archive_entry_pathname(entry.get())));
                continue;
            }
            if (const ArchiveOutcome outcome = WriteEntry(entry.get()); outcome != ArchiveOutcome::Written)
                return outcome;
        }
        return ArchiveOutcome::Stopped;
    }

    void ReportUnreadable(const QString& name) {
        ++result_.errors;
        PrintError(u"%1 in the volume %2 cannot be read: %3"_s.arg(name, volume_.path,
                                                                   ArchiveErrorText(walker_.handle())));
    }

    ArchiveOutcome WriteEntry(archive_entry* entry) {
        progress_.Advance(ProgressMeter::kEntryWeight);
        // Sockets belong to the programs that made them and cannot be stored in a tar archive.
        if (archive_entry_filetype(entry) == AE_IFSOCK)
            return ArchiveOutcome::Written;
        const QByteArray sourcePath = archive_entry_pathname(entry);
        archive_entry_copy_pathname(entry, walker_.ArchiveName(entry).constData());
        archive_entry* linked = entry;
        archive_entry* spare = nullptr;
        archive_entry_linkify(resolver_.get(), &linked, &spare);
        // The tar strategy never defers an entry, so `linked` is the entry itself, perhaps turned into
        // a hard link to the first name of the same file.
        if (linked == nullptr)
            return ArchiveOutcome::Written;
        const int status = archive_write_header(writer_.get(), linked);
        if (status == ARCHIVE_FATAL)
            return WriteFailure(writer_.get(), volume_.path);
        if (status == ARCHIVE_FAILED) {
            ++result_.errors;
            PrintError(u"%1 in the volume %2 cannot be stored: %3"_s.arg(
                QFile::decodeName(sourcePath), volume_.path, ArchiveErrorText(writer_.get())));
            return ArchiveOutcome::Written;
        }
        ++result_.entries;
        if (archive_entry_filetype(linked) != AE_IFREG || archive_entry_size(linked) <= 0)
            return ArchiveOutcome::Written;
        return CopyData(QFile::decodeName(sourcePath));
    }

    ArchiveOutcome CopyData(const QString& sourcePath) {
        const void* block = nullptr;
        size_t size = 0;
        la_int64_t offset = 0;
        while (!StopRequested()) {
            const int status = archive_read_data_block(walker_.handle(), &block, &size, &offset);
            if (status == ARCHIVE_EOF)
                return ArchiveOutcome::Written;
            if (status < ARCHIVE_WARN) {
                // The header promised the file's size; the archive pads what could not be read.
                ++result_.errors;
                PrintError(u"%1 in the volume %2 could not be read completely: %3"_s.arg(
                    sourcePath, volume_.path, ArchiveErrorText(walker_.handle())));
                return ArchiveOutcome::Written;
            }
            if (archive_write_data(writer_.get(), block, size) < 0)
                return WriteFailure(writer_.get(), volume_.path);
            result_.bytes += size;
            progress_.Advance(size);
        }
        return ArchiveOutcome::Stopped;
    }

    ArchiveOutcome Close() {
        if (archive_write_close(writer_.get()) != ARCHIVE_OK)
            return WriteFailure(writer_.get(), volume_.path);
        if (::fsync(fd_) != 0) {
            const int error = errno;
            if (error == ENOSPC || error == EDQUOT)
                return ArchiveOutcome::NoSpace;
            PrintError(
                u"Writing the image of the volume %1 failed: %2"_s.arg(volume_.path, SystemErrorText(error)));
            return ArchiveOutcome::Failed;
        }
        return ArchiveOutcome::Written;
    }

    const VolumeSource& volume_;
    VolumeWalker walker_;
    ArchivePtr writer_;
    std::unique_ptr<archive_entry_linkresolver, LinkResolverDeleter> resolver_;
    ProgressMeter& progress_;
    VolumeResult result_;
    int fd_ = -1;
};

} // namespace

void ProgressMeter::SetStatus(const QString& status) {
    status_ = status;
    Print(std::max(shown_, 0));
}

void ProgressMeter::Advance(quint64 weight) {
    done_ += weight;
    const quint64 percent = total_ == 0 ? 0 : done_ * 100 / total_;
    // 100% is printed by Finish only, once every archive is closed.
    const int capped = static_cast<int>(std::min<quint64>(percent, 99));
    if (capped != shown_)
        Print(capped);
}

void ProgressMeter::Finish() {
    Print(100);
}

void ProgressMeter::Print(int percent) {
    shown_ = percent;
    PrintProgress(status_, percent);
}

bool MeasureVolume(const VolumeSource& volume, const FileIdentity& skip, quint64& weight) {
    VolumeWalker walker(volume, skip,
                        ARCHIVE_READDISK_NO_XATTR | ARCHIVE_READDISK_NO_ACL | ARCHIVE_READDISK_NO_FFLAGS);
    if (!walker.opened())
        return true;
    const EntryPtr entry(archive_entry_new());
    while (!StopRequested()) {
        const int status = walker.Next(entry.get());
        if (status == ARCHIVE_EOF || status == ARCHIVE_FATAL)
            return true;
        if (status == ARCHIVE_FAILED)
            continue;
        weight += ProgressMeter::kEntryWeight;
        if (archive_entry_filetype(entry.get()) == AE_IFREG)
            weight += static_cast<quint64>(std::max<la_int64_t>(archive_entry_size(entry.get()), 0));
    }
    return false;
}

VolumeResult ArchiveVolume(const VolumeSource& volume, const FileIdentity& skip, const QString& archivePath,
                           ProgressMeter& progress) {
    progress.SetStatus(u"Creating a backup of volume %1"_s.arg(volume.path));
    return VolumeWriter(volume, skip, progress).Write(archivePath);
}

} // namespace morvane::imager
