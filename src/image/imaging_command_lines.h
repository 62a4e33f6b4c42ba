#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace morvane {

class TJob_DriveImage;

// The imaging tool by its bare name, found through the search path.
inline constexpr char16_t ImagingToolName[] = u"morvane-imager";
// The imaging tool beside the running program (the build folder), else in ../libexec/morvane-backup
// (an installation); read on the user-interface thread.
QString ImagingToolBesideProgram();

// The drive of a path: the part of it the imaging tool is given for a local destination or source.
using TDrivePart = std::function<QString(const QString&)>;
// The mount point of the volume that holds the path, written so the tool reads it as one argument.
QString LocalDrivePart(const QString& path);

enum class TImagingCommand { StartBackup, Prune, DeleteAll };

// The drives of the sources in list order, joined by "," ("/,/home").
QString DriveImageIncludeList(const QStringList& sources, const TDrivePart& drivePart);

// The arguments behind "start backup " or "delete backup " for the job's destination: the drive of a
// local destination, or the network path in double quotes with the user name and password when a user
// name is given.
QString ImagingArguments(TImagingCommand command, const TJob_DriveImage& job, const TDrivePart& drivePart);

inline constexpr char16_t StartBackupVerb[] = u"start backup ";
inline constexpr char16_t DeleteBackupVerb[] = u"delete backup ";
inline constexpr char16_t StopJobParameters[] = u"stop job -quiet";

} // namespace morvane
