#pragma once

#include "jobs/job.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace morvane {

// Names a backup run writes on the storage and a restore reads back.

// Present in the job folder from the start of a run until its successful end.
inline const QString StartFlagFile = QStringLiteral("_startflag.qkl");
// In the job folder: one line, the identity of the installation that owns the folder.
inline const QString OwnerFile = QStringLiteral("_owner.qkl");
// The storage copy of the job file lies beside the job folder: job folder + this extension.
inline const QString JobCopyExtension = QStringLiteral(".bmj");

// The four list files of a full or incremental backup folder.
inline const QString CopiedFilesFile = QStringLiteral("_rf.qkl");
inline const QString CreatedDirsFile = QStringLiteral("_rd.qkl");
inline const QString RemovedFilesFile = QStringLiteral("_rrf.qkl");
inline const QString RemovedDirsFile = QStringLiteral("_rrd.qkl");
// Permissions, owner, group and last-write time of what a backup folder holds (of a mirror: all of it).
inline const QString MetadataFile = QStringLiteral("_rm.qkl");

// Type markers: the first entry of the backup list, and the end of each backup folder's name.
inline const QString FullMarker = QStringLiteral("Full)");
inline const QString IncrementalMarker = QStringLiteral("Incremental)");
inline const QString MirrorMarker = QStringLiteral("Syncronization)");

QString MarkerOf(TBackupType type);
// The type a marker names; false for a text that is no marker.
bool TypeOfMarker(const QString& marker, TBackupType& type);

// A backup name ends a full copy when the first "Full)" in it is at its very end.
bool EndsFullCopy(const QString& name);
bool EndsIncrementalCopy(const QString& name);

// The name a full or incremental run gives its folder: "yyyy-mm-dd hh;nn;ss (Full)" or "... (Incremental)".
bool IsRunFolderName(const QString& name);

// What a start flag found on the storage says about the run that wrote it: true when that run had
// already recorded itself in the storage copy and stopped only before removing the flag. A full or
// incremental run's flag names its folder, complete once the stored backup list holds it; a mirror
// run's flag gains a commit line with the digest of the storage copy it is about to write, complete
// once the storage copy has that digest. `mainBackupList` is the stored list with its marker.
bool StartFlagShowsCompletedRun(const QStringList& flagLines, const QStringList& mainBackupList,
                                const QByteArray& storageCopy);
// The flag a mirror run writes just before replacing the storage copy with `storageCopy`. Its first
// line stays empty, so a reader that knows only the first line still sees a mirror's flag.
QStringList MirrorCommitFlag(const QByteArray& storageCopy);

// The job's own folder in the temporary root, and the local copy of its job file beside it.
QString JobTempFolder(const TJob& job);
QString LocalJobCopy(const TJob& job);

// A folder of the caller's own in the job's temporary root, removed with the object. Its name begins
// with a blank, which no job name does, so no run's removal of its temporary files ever reaches it.
// Null when it cannot be made.
std::unique_ptr<QTemporaryDir> MakePrivateTempFolder(const TJob& job);

// The lines of a text file the program wrote (BOM and CR LF optional); empty when it cannot be read.
QStringList ReadTextFileLines(const QString& path);
// The bytes of a local file; empty when it cannot be read.
QByteArray ReadLocalFileBytes(const QString& path);

} // namespace morvane
