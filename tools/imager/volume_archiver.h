#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace morvane::imager {

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
};

// One included volume: a folder whose tree is archived without leaving its file system.
struct VolumeSource {
    QString path; // cleaned absolute path, as printed
    FileIdentity identity;
};

// Prints "<status>, copied (N%)." whenever the whole run's percentage changes. The weight of the run is
// the bytes of its regular files plus a fixed share per entry, so trees of empty files advance too.
class ProgressMeter {
public:
    static constexpr quint64 kEntryWeight = 512;

    explicit ProgressMeter(quint64 totalWeight) : total_(totalWeight) {}
    void SetStatus(const QString& status);
    void Advance(quint64 weight);
    void Finish();

private:
    void Print(int percent);

    quint64 total_;
    quint64 done_ = 0;
    int shown_ = -1;
    QString status_;
};

enum class ArchiveOutcome { Written, Stopped, NoSpace, Failed };

struct VolumeResult {
    ArchiveOutcome outcome = ArchiveOutcome::Failed;
    int errors = 0; // entries that could not be read; each has printed an ERROR line
    quint64 entries = 0;
    quint64 bytes = 0;
};

// The weight of a volume for the progress meter; the folder `skip` (the image store) is left out.
// Returns false when a stop was requested while measuring.
bool MeasureVolume(const VolumeSource& volume, const FileIdentity& skip, quint64& weight);

// Writes the volume's tree, staying on its file system and leaving out `skip`, to a new
// pax archive compressed with zstd at `archivePath`, and syncs it to the storage.
VolumeResult ArchiveVolume(const VolumeSource& volume, const FileIdentity& skip, const QString& archivePath,
                           ProgressMeter& progress);

} // namespace morvane::imager
