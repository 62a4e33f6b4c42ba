// The command lines drive-image jobs give the imaging tool.

#include "image/imaging_command_lines.h"

#include "i18n/translation.h"
#include "jobs/job.h"
#include "platform/paths.h"
#include "platform/special_folders.h"
#include "platform/volumes.h"

#include <QDir>
#include <QFileInfo>

namespace morvane {

namespace {

// The tool's option names differ in case between the forms ("backupTarget" and "backuptarget"); the
// forms are kept exactly as the tool's users know them.
const QString StartLocal = QStringLiteral("-backupTarget:%s -include:%s -allCritical -quiet");
const QString StartWithUser =
    QStringLiteral("-backupTarget:%s -user:%s -password:%s -include:%s -allCritical -quiet");
const QString PruneLocal = QStringLiteral("-backuptarget:%s -keepversions:%s -quiet");
const QString PruneWithUser =
    QStringLiteral("-backupTarget:%s -user:%s -password:%s -keepversions:%s -quiet");
const QString DeleteAllLocal = QStringLiteral("-backuptarget:%s -keepversions:0 -quiet");
const QString DeleteAllWithUser =
    QStringLiteral("-backupTarget:%s -user:%s -password:%s -keepversions:0 -quiet");

QString Quoted(const QString& text) {
    return u'"' + text + u'"';
}

} // namespace

QString ImagingToolBesideProgram() {
    const QString tool = QString::fromUtf16(ImagingToolName);
    const QString beside = JoinPath(ExecutableDirectory(), tool);
    if (QFileInfo::exists(beside))
        return beside;
    // An installed program: the tool is no command of its own, it lives in the package's libexec folder.
    const QString installed =
        QDir::cleanPath(ExecutableDirectory() + QStringLiteral("/../libexec/morvane-backup/") + tool);
    return QFileInfo::exists(installed) ? installed : beside;
}

QString LocalDrivePart(const QString& path) {
    const QString root = VolumeRootOf(path);
    // A blank would split the argument: mount points may hold one where drive letters cannot.
    return root.contains(u' ') || root.contains(u'\t') ? Quoted(root) : root;
}

QString DriveImageIncludeList(const QStringList& sources, const TDrivePart& drivePart) {
    QStringList drives;
    for (const QString& source : sources)
        drives.append(drivePart(source));
    return drives.join(u',');
}

QString ImagingArguments(TImagingCommand command, const TJob_DriveImage& job, const TDrivePart& drivePart) {
    const bool network = job.DestinationType == dtNetwork;
    const bool withUser = network && !job.Destination_NetworkUsername.isEmpty();
    const QString target = network ? Quoted(job.DestinationPath) : drivePart(job.DestinationPath);
    QStringList arguments{target};
    if (withUser)
        arguments << job.Destination_NetworkUsername << job.Destination_NetworkPassword;
    switch (command) {
    case TImagingCommand::StartBackup:
        arguments << DriveImageIncludeList(job.Settings.SourceDrivesList, drivePart);
        return FormatText(withUser ? StartWithUser : StartLocal, arguments);
    case TImagingCommand::Prune:
        arguments << job.Settings.NumberOfBackupVersionsToKeep;
        return FormatText(withUser ? PruneWithUser : PruneLocal, arguments);
    case TImagingCommand::DeleteAll:
        return FormatText(withUser ? DeleteAllWithUser : DeleteAllLocal, arguments);
    }
    return QString();
}

} // namespace morvane
