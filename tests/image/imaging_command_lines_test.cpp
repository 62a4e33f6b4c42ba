#include "image/imaging_command_lines.h"

#include "jobs/job.h"
#include "platform/process.h"
#include "platform/volumes.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

// The drive of a drive-letter path ("E:" of "E:\Backups"), so the forms read as the tool's users know them.
QString LetterDrive(const QString& path) {
    const qsizetype colon = path.indexOf(u':');
    return colon < 0 ? QString() : path.left(colon + 1);
}

TEST(ImagingCommandLinesTest, EveryDestinationFormGivesItsArgumentsCharacterForCharacter) {
    const QString share = u"\\\\nas\\images"_s;
    const struct {
        TImagingCommand command;
        TDestinationType type;
        QString path;
        QString user;
        QString password;
        QString expected;
    } cases[] = {
        {TImagingCommand::StartBackup,
         dtExternalDevice,
         u"E:\\Backups"_s,
         {},
         {},
         u"-backupTarget:E: -include:C:,D: -allCritical -quiet"_s},
        {TImagingCommand::StartBackup,
         dtNetwork,
         share,
         {},
         {},
         u"-backupTarget:\"\\\\nas\\images\" -include:C:,D: -allCritical -quiet"_s},
        {TImagingCommand::StartBackup, dtNetwork, share, u"ann"_s, u"s3cret"_s,
         u"-backupTarget:\"\\\\nas\\images\" -user:ann -password:s3cret -include:C:,D: -allCritical -quiet"_s},
        {TImagingCommand::StartBackup,
         dtNetwork,
         share,
         u"ann"_s,
         {},
         u"-backupTarget:\"\\\\nas\\images\" -user:ann -password: -include:C:,D: -allCritical -quiet"_s},
        {TImagingCommand::Prune, dtExternalDevice, u"E:\\Backups"_s, u"ignored"_s, u"ignored"_s,
         u"-backuptarget:E: -keepversions:5 -quiet"_s},
        {TImagingCommand::Prune,
         dtNetwork,
         share,
         {},
         {},
         u"-backuptarget:\"\\\\nas\\images\" -keepversions:5 -quiet"_s},
        {TImagingCommand::Prune, dtNetwork, share, u"ann"_s, u"s3cret"_s,
         u"-backupTarget:\"\\\\nas\\images\" -user:ann -password:s3cret -keepversions:5 -quiet"_s},
        {TImagingCommand::DeleteAll,
         dtExternalDevice,
         u"E:\\Backups"_s,
         {},
         {},
         u"-backuptarget:E: -keepversions:0 -quiet"_s},
        {TImagingCommand::DeleteAll,
         dtNetwork,
         share,
         {},
         {},
         u"-backuptarget:\"\\\\nas\\images\" -keepversions:0 -quiet"_s},
        {TImagingCommand::DeleteAll, dtNetwork, share, u"ann"_s, u"s3cret"_s,
         u"-backupTarget:\"\\\\nas\\images\" -user:ann -password:s3cret -keepversions:0 -quiet"_s},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.expected.toStdString());
        TJob_DriveImage job(u"System"_s);
        job.Settings.SourceDrivesList = {u"C:\\"_s, u"D:\\"_s};
        job.Settings.NumberOfBackupVersionsToKeep = u"5"_s;
        job.DestinationType = item.type;
        job.DestinationPath = item.path;
        job.Destination_NetworkUsername = item.user;
        job.Destination_NetworkPassword = item.password;
        EXPECT_EQ(ImagingArguments(item.command, job, LetterDrive), item.expected);
    }
}

TEST(ImagingCommandLinesTest, TheDriveOfALocalPathIsTheMountPointOfItsVolume) {
    EXPECT_EQ(VolumeRootOf(u"/"_s), u"/");
    EXPECT_EQ(VolumeRootOf(u"/proc"_s), u"/proc");
    EXPECT_EQ(VolumeRootOf(u"/proc/self/fd"_s), u"/proc");
    // A folder that does not exist yet lies on the volume of its nearest existing parent.
    EXPECT_EQ(VolumeRootOf(u"/proc/no such folder/below"_s), u"/proc");
    EXPECT_EQ(VolumeRootOf(u"relative/path"_s), QString());
    EXPECT_EQ(VolumeRootOf(QString()), QString());

    TJob_DriveImage job(u"System"_s);
    job.Settings.SourceDrivesList = {u"/proc/self"_s, u"/proc"_s};
    job.DestinationPath = u"/proc/sys/kernel"_s;
    // The tool is given whole volumes: both sources name the same one.
    EXPECT_EQ(ImagingArguments(TImagingCommand::StartBackup, job, LocalDrivePart),
              u"-backupTarget:/proc -include:/proc,/proc -allCritical -quiet"_s);
}

TEST(ImagingCommandLinesTest, ArgumentTextsSplitAsTheToolReceivesThem) {
    const struct {
        QString text;
        QStringList arguments;
    } cases[] = {
        {u"start backup -backupTarget:/media/usb -include:/,/home -allCritical -quiet"_s,
         {u"start"_s, u"backup"_s, u"-backupTarget:/media/usb"_s, u"-include:/,/home"_s, u"-allCritical"_s,
          u"-quiet"_s}},
        // A quoted mount point with a blank stays one argument, without its quotes.
        {u"-backupTarget:\"/media/my disk\" -include:\"/mnt/a b\",/"_s,
         {u"-backupTarget:/media/my disk"_s, u"-include:/mnt/a b,/"_s}},
        {u"-backupTarget:\"\\\\nas\\images\" -user:ann -password: -quiet"_s,
         {u"-backupTarget:\\\\nas\\images"_s, u"-user:ann"_s, u"-password:"_s, u"-quiet"_s}},
        {u"  spaced \t out  "_s, {u"spaced"_s, u"out"_s}},
        {u"\"\" empty"_s, {QString(), u"empty"_s}},
        {u"a\\\"b \"c\\\\\" d\\\\\\\"e"_s, {u"a\"b"_s, u"c\\"_s, u"d\\\"e"_s}},
        {QString(), {}},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.text.toStdString());
        EXPECT_EQ(SplitCommandLine(item.text), item.arguments);
    }
}

} // namespace
} // namespace morvane
