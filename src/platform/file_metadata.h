#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <ctime>

namespace morvane {

// What a restore gives back to an entry besides its content.
struct TFileMetadata {
    uint32_t Mode = 0; // permission bits with set-user, set-group and sticky bits
    uint32_t Owner = 0;
    uint32_t Group = 0;
    timespec LastWrite{};
};

// What an entry below the restore's output folder must be for its metadata to be applied.
enum class TMetadataTarget { File, Folder, Link };

// The metadata of a local path (a link named by the path is followed, as for a folder source); 0 or errno.
int LocalReadMetadata(const QString& path, TFileMetadata& metadata);

// Applies metadata to `relative` ('/'-separated name bytes) below the folder `root`. No link is followed on
// the way or at the end: a link, or an entry of another kind than `target`, gives ELOOP, ENOTDIR or
// EINVAL and changes nothing. A link gets no mode. The owner and group are set only with
// `setOwner`, before the mode so the set-user and set-group bits survive. 0 or an errno value.
int LocalApplyMetadata(const QString& root, const QByteArray& relative, TMetadataTarget target,
                       const TFileMetadata& metadata, bool setOwner);

// Whether the program runs with the rights to give entries any owner.
bool RunningAsRoot();

} // namespace morvane
