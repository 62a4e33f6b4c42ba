#pragma once

#include <QString>
#include <QStringList>

namespace morvane::imager {

// The images on a target folder:
//   <target>/MorvaneImageBackup/<host>/.lock                       held while a backup or delete runs
//   <target>/MorvaneImageBackup/<host>/<yyyy-MM-ddTHH-mm-ss.zzzZ>/ one finished version (UTC start time)
//   <target>/MorvaneImageBackup/<host>/<name>.partial/             a version being written
//   <target>/MorvaneImageBackup/<host>/<name>.deleting/            a version being deleted
// Version names sort by time, so the newest is the greatest name.
struct ImageStore {
    QString target;
    QString imagesRoot;
    QString hostFolder;

    QString LockPath() const;
    QString VersionPath(const QString& name) const;
};

ImageStore StoreOn(const QString& target);

// An empty text when `target` is an existing local folder given by its absolute path.
QString CheckTargetFolder(const QString& target);

// Creates the image folders (mode 0700: images hold every file of a volume). Returns 0 or an errno;
// ENOTDIR when a file or a symbolic link is in the way; a link is never followed.
int CreateStoreFolders(const ImageStore& store);

QStringList FinishedVersions(const ImageStore& store); // oldest first
QStringList LeftoverFolders(const ImageStore& store);  // ".partial" and ".deleting" folders
// A name that no version of the store has yet.
QString NewVersionName(const ImageStore& store);

// Removes a folder of the store with everything in it, never following a symbolic link.
bool RemoveStoreFolder(const QString& path);
// Makes a rename or a new entry in `folder` durable.
void SyncFolder(const QString& folder);

} // namespace morvane::imager
