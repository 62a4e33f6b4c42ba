#include "platform/file_system.h"

#include "platform/file_names.h"
#include "platform/local_files.h"

#include <sys/stat.h>

namespace morvane {

bool ForceDeleteTree(const QString& path) {
    return LocalRemoveTree(path) == 0;
}

bool DirectoryExists(const QString& path) {
    struct stat info {};
    return ::stat(NameToBytes(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool FileExists(const QString& path) {
    struct stat info {};
    return ::stat(NameToBytes(path).constData(), &info) == 0 && !S_ISDIR(info.st_mode);
}

} // namespace morvane
