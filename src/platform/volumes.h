#pragma once

#include <QString>

namespace morvane {

// The mount point of the mounted volume that holds `path` ("/", "/home", "/media/usb"): the drive of
// a path. A path that does not exist yet is taken from its nearest existing folder; empty for an
// empty or relative path.
QString VolumeRootOf(const QString& path);

} // namespace morvane
