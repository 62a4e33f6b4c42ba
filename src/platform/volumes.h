#pragma once

#include <QList>
#include <QString>

namespace morvane {

// The mount point of the mounted volume that holds `path` ("/", "/home", "/media/usb"): the drive of
// a path. A path that does not exist yet is taken from its nearest existing folder; empty for an
// empty or relative path.
QString VolumeRootOf(const QString& path);

// A mounted file system that sits on a block device of this machine.
struct TMountedVolume {
    QString MountPoint;
    QString Device; // "/dev/..."
    QString Label;  // empty when the file system has none
    qint64 Size = 0;
};

// The mounts of block devices, each mount point once, by mount point. Only those are asked for their
// size, so a network mount that does not answer cannot hold the caller up.
QList<TMountedVolume> BlockDeviceVolumes();

} // namespace morvane
