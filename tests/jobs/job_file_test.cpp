#include "fixtures/image_builder.h"
#include "fixtures/sample_jobs.h"
#include "fixtures/temp_home.h"
#include "formats/encryptor.h"
#include "formats/file_image.h"
#include "jobs/job.h"
#include "jobs/job_file.h"

#include <QDir>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::ImageBuilder;
using testing::ReadFileBytes;
using testing::WriteFileBytes;

class JobFileTest : public testing::TempHomeTest {
protected:
    QString File(const QString& name) const { return JoinPathForTest(name); }
    QString JoinPathForTest(const QString& name) const { return AppDir() + u'/' + name; }
    QByteArray PlainImageOf(const QString& path) const { return UnscrambleFileImage(ReadFileBytes(path)); }
};

// Result, log list and history of a job that never ran.
ImageBuilder& EmptyRecords(ImageBuilder& b) {
    return b.F64(0).F64(0).B8(0).I32(0).I32(0).I32(0).I32(0);
}

ImageBuilder& DefaultSchedule(ImageBuilder& b) {
    return b.I32(0).Zeros(7 + 31).I32(0).F64(0).B8(0).B8(0);
}

TEST_F(JobFileTest, NewFilesJobIsStoredFieldByField) {
    TJob_FilesAndFolders job(u"J"_s);
    ASSERT_TRUE(job.SaveLocalJobFile(File(u"J.qkd"_s)));
    ImageBuilder expected;
    expected.I32(5).I32(1);
    EmptyRecords(expected);
    expected.I32(0).B8(0).I32(0);          // sources, filter, extensions
    expected.I32(0).I32(0).I32(0);         // path, user name and password: empty strings are one zero each
    expected.I32(0).I32(2).I32(5).I32(10); // destination type, btInc, every 5 copies, keep 10
    expected.B8(0);
    DefaultSchedule(expected);
    EXPECT_EQ(PlainImageOf(File(u"J.qkd"_s)).toHex(), expected.bytes.toHex());
}

TEST_F(JobFileTest, NewDriveImageJobStoresTheDestinationTypeBeforeThePath) {
    TJob_DriveImage job(u"D"_s);
    ASSERT_TRUE(job.SaveLocalJobFile(File(u"D.qkd"_s)));
    ImageBuilder expected;
    expected.I32(5).I32(2);
    EmptyRecords(expected);
    expected.I32(0).B8(0).Str(u"3"_s); // drives, autoclean, versions to keep
    expected.I32(0);                   // destination type
    expected.I32(0).I32(0).I32(0);     // path, user name, password
    DefaultSchedule(expected);
    EXPECT_EQ(PlainImageOf(File(u"D.qkd"_s)).toHex(), expected.bytes.toHex());
}

TEST_F(JobFileTest, LocalFilesRoundTripAndResaveIdentically) {
    const auto original = testing::SampleFilesJob(u"Docs"_s);
    ASSERT_TRUE(original->SaveLocalJobFile(File(u"a.qkd"_s)));
    TJob_FilesAndFolders loaded(u"Docs"_s);
    ASSERT_TRUE(loaded.LoadLocalJobFile(File(u"a.qkd"_s)));
    testing::ExpectSameStoredFields(*original, loaded);
    ASSERT_TRUE(loaded.SaveLocalJobFile(File(u"b.qkd"_s)));
    EXPECT_EQ(ReadFileBytes(File(u"a.qkd"_s)), ReadFileBytes(File(u"b.qkd"_s)));
    EXPECT_EQ(GetJobFileKind(File(u"a.qkd"_s)), 1);
    EXPECT_TRUE(TakeEventTexts().isEmpty());
}

TEST_F(JobFileTest, LocalDriveImageRoundTripsAndResavesIdentically) {
    const auto original = testing::SampleDriveJob(u"System"_s);
    ASSERT_TRUE(original->SaveLocalJobFile(File(u"a.qkd"_s)));
    TJob_DriveImage loaded(u"System"_s);
    loaded.Settings.SourceDrivesList = {u"stale entry"_s};
    ASSERT_TRUE(loaded.LoadLocalJobFile(File(u"a.qkd"_s)));
    testing::ExpectSameStoredFields(*original, loaded);
    ASSERT_TRUE(loaded.SaveLocalJobFile(File(u"b.qkd"_s)));
    EXPECT_EQ(ReadFileBytes(File(u"a.qkd"_s)), ReadFileBytes(File(u"b.qkd"_s)));
    EXPECT_EQ(GetJobFileKind(File(u"a.qkd"_s)), 2);
}

TEST_F(JobFileTest, BackupTypeDecidesWhetherEachRunGetsASubfolder) {
    for (const TBackupType type : {btSync, btFull, btInc}) {
        TJob_FilesAndFolders job(u"J"_s);
        job.Settings.Backup.BackupType = type;
        ASSERT_TRUE(job.SaveLocalJobFile(File(u"J.qkd"_s)));
        TJob_FilesAndFolders loaded(u"J"_s);
        loaded.NewSubfolderIsCreatedForEachBackup = type == btSync;
        ASSERT_TRUE(loaded.LoadLocalJobFile(File(u"J.qkd"_s)));
        EXPECT_EQ(loaded.NewSubfolderIsCreatedForEachBackup, type != btSync) << int(type);
    }
}

TEST_F(JobFileTest, StorageCopyOfFilesJobCarriesChainAndSettings) {
    const auto original = testing::SampleFilesJob(u"Docs"_s);
    const TBackupChainState chain = testing::SampleChainState();
    ASSERT_TRUE(original->SaveRemoteJobFile(File(u"Docs.bmj"_s), chain));

    // Without settings: the chain is appended to what the caller holds, the job is left alone.
    TJob_FilesAndFolders untouched(u"Docs"_s);
    TBackupChainState read;
    read.MainBackupList = {u"already there"_s};
    ASSERT_TRUE(untouched.LoadRemoteJobFile(File(u"Docs.bmj"_s), false, read));
    EXPECT_EQ(read.MainBackupList, QStringList{u"already there"_s} + chain.MainBackupList);
    EXPECT_EQ(read.PreviousLocalFilesList, chain.PreviousLocalFilesList);
    EXPECT_EQ(read.PreviousLocalFilesTimeList, chain.PreviousLocalFilesTimeList);
    EXPECT_EQ(read.PreviousLocalDirsList, chain.PreviousLocalDirsList);
    EXPECT_EQ(read.SizeOfLastFullBackup, chain.SizeOfLastFullBackup);
    EXPECT_EQ(read.SizeOfAllIncrementsOrLastDifferentialCopy,
              chain.SizeOfAllIncrementsOrLastDifferentialCopy);
    EXPECT_TRUE(untouched.Settings.Sources.List.isEmpty());

    // With settings: everything but the schedule type, which an imported job never keeps.
    TJob_FilesAndFolders imported(u"Docs"_s);
    TBackupChainState scratch;
    ASSERT_TRUE(imported.LoadRemoteJobFile(File(u"Docs.bmj"_s), true, scratch));
    EXPECT_EQ(imported.SchedulingSettings.SchedulingType, stDisabled);
    imported.SchedulingSettings.SchedulingType = original->SchedulingSettings.SchedulingType;
    testing::ExpectSameSettings(*original, imported);
    EXPECT_EQ(imported.LastJobResult.StartTime, 0.0); // storage copies carry no result or records
    EXPECT_TRUE(imported.LogList.isEmpty());
    EXPECT_TRUE(imported.BackupHistory.isEmpty());
}

TEST_F(JobFileTest, StorageCopyOfDriveImageJobCarriesSettingsOnly) {
    const auto original = testing::SampleDriveJob(u"System"_s);
    ASSERT_TRUE(original->SaveRemoteJobFile(File(u"System.bmj"_s)));
    TJob_DriveImage imported(u"System"_s);
    ASSERT_TRUE(imported.LoadRemoteJobFile(File(u"System.bmj"_s), true));
    EXPECT_EQ(imported.SchedulingSettings.SchedulingType, stDisabled);
    EXPECT_EQ(imported.SchedulingSettings.DaysOfWeek, original->SchedulingSettings.DaysOfWeek);
    EXPECT_EQ(imported.SchedulingSettings.TimeTable, original->SchedulingSettings.TimeTable);
    EXPECT_EQ(imported.Settings.SourceDrivesList, original->Settings.SourceDrivesList);
    EXPECT_EQ(imported.Settings.NumberOfBackupVersionsToKeep, u"12");
    EXPECT_EQ(imported.DestinationPath, original->DestinationPath);
    EXPECT_EQ(imported.Destination_NetworkPassword, original->Destination_NetworkPassword);
    TJob_DriveImage headerOnly(u"System"_s);
    ASSERT_TRUE(headerOnly.LoadRemoteJobFile(File(u"System.bmj"_s), false));
    EXPECT_TRUE(headerOnly.Settings.SourceDrivesList.isEmpty());
}

TEST_F(JobFileTest, MissingFiles) {
    TJob_FilesAndFolders job(u"Gone"_s);
    EXPECT_FALSE(job.LoadLocalJobFile(File(u"Gone.qkd"_s)));
    TBackupChainState chain;
    EXPECT_TRUE(job.LoadRemoteJobFile(File(u"Gone.bmj"_s), true, chain));
    EXPECT_TRUE(chain.MainBackupList.isEmpty());
    EXPECT_EQ(GetJobFileKind(File(u"Gone.qkd"_s)), 0);
    EXPECT_TRUE(TakeEventTexts().isEmpty());
}

TEST_F(JobFileTest, VersionThreeFileHasNoKindAndIsAFilesJob) {
    ImageBuilder b;
    b.I32(3);
    b.F64(45000.5).F64(45000.75).B8(0).I32(1).I32(0).I32(0).I32(0);
    b.I32(1).Str(u"/home/ann/*"_s).B8(1).Str(u"doc"_s);
    b.Str(u"/media/usb"_s).I32(0).I32(0).I32(0).I32(1).I32(5).I32(10).B8(0);
    DefaultSchedule(b);
    WriteFileBytes(File(u"Old.qkd"_s), b.Scrambled());
    EXPECT_EQ(GetJobFileKind(File(u"Old.qkd"_s)), 1);
    TJob_FilesAndFolders job(u"Old"_s);
    ASSERT_TRUE(job.LoadLocalJobFile(File(u"Old.qkd"_s)));
    EXPECT_EQ(job.LastJobResult.EndTime, 45000.75);
    EXPECT_EQ(job.Settings.Sources.List, QStringList{u"/home/ann/*"_s});
    EXPECT_EQ(job.Settings.Sources.FilterType, ftIncludeOnly);
    EXPECT_EQ(job.DestinationPath, u"/media/usb");
    EXPECT_EQ(job.Settings.Backup.BackupType, btFull);
}

TEST_F(JobFileTest, BytesAfterTheLastFieldAreIgnored) {
    const auto original = testing::SampleFilesJob(u"Docs"_s);
    ASSERT_TRUE(original->SaveLocalJobFile(File(u"Docs.qkd"_s)));
    QByteArray plain = PlainImageOf(File(u"Docs.qkd"_s));
    plain.append("trailing garbage \x01\x02\xFF", 20);
    WriteFileBytes(File(u"Docs.qkd"_s), ScrambleFileImage(plain));
    TJob_FilesAndFolders loaded(u"Docs"_s);
    ASSERT_TRUE(loaded.LoadLocalJobFile(File(u"Docs.qkd"_s)));
    testing::ExpectSameStoredFields(*original, loaded);
}

TEST_F(JobFileTest, TruncatedFileKeepsTheFieldsReadSoFar) {
    const auto original = testing::SampleFilesJob(u"Docs"_s);
    ASSERT_TRUE(original->SaveLocalJobFile(File(u"Docs.qkd"_s)));
    QByteArray plain = PlainImageOf(File(u"Docs.qkd"_s));
    plain.chop(20); // cuts into the schedule's days of the month
    WriteFileBytes(File(u"Docs.qkd"_s), ScrambleFileImage(plain));
    TJob_FilesAndFolders loaded(u"Docs"_s);
    EXPECT_FALSE(loaded.LoadLocalJobFile(File(u"Docs.qkd"_s)));
    EXPECT_EQ(TakeEventTexts(), QStringList{u"Error loading job \"Docs\". Code: 1"_s});
    EXPECT_EQ(loaded.LogList, original->LogList);
    EXPECT_EQ(loaded.Settings.Sources.List, original->Settings.Sources.List);
    EXPECT_EQ(loaded.Destination_NetworkPassword, original->Destination_NetworkPassword);
    EXPECT_EQ(loaded.SchedulingSettings.SchedulingType, stDaysOfMonth);
    EXPECT_TRUE(loaded.SchedulingSettings.TimeTable.isEmpty()); // not reached
}

TEST_F(JobFileTest, FileThatCannotBeOpenedIsCodeTwo) {
    ASSERT_TRUE(QDir().mkpath(File(u"Locked.qkd"_s))); // exists, but cannot be opened as a file
    TJob_FilesAndFolders job(u"Locked"_s);
    EXPECT_FALSE(job.LoadLocalJobFile(File(u"Locked.qkd"_s)));
    EXPECT_EQ(GetJobFileKind(File(u"Locked.qkd"_s)), 0);
    EXPECT_EQ(TakeEventTexts(),
              (QStringList{u"Error loading job \"Locked\". Code: 2"_s,
                           u"Error loading job \""_s + File(u"Locked.qkd"_s) + u"\". Code: 2"_s}));
}

TEST_F(JobFileTest, FileOfTheOtherKindIsNotLoaded) {
    ASSERT_TRUE(testing::SampleDriveJob(u"X"_s)->SaveLocalJobFile(File(u"X.qkd"_s)));
    TJob_FilesAndFolders job(u"X"_s);
    EXPECT_FALSE(job.LoadLocalJobFile(File(u"X.qkd"_s)));
    EXPECT_EQ(TakeEventTexts(), QStringList{u"Error loading job \"X\". Code: 1"_s});
    TBackupChainState chain;
    EXPECT_THROW(job.LoadRemoteJobFile(File(u"X.qkd"_s), true, chain), FileImageError);
}

TEST_F(JobFileTest, DamagedStorageCopyRaisesAReadError) {
    ASSERT_TRUE(
        testing::SampleFilesJob(u"D"_s)->SaveRemoteJobFile(File(u"D.bmj"_s), testing::SampleChainState()));
    QByteArray stored = ReadFileBytes(File(u"D.bmj"_s));
    stored.chop(30);
    WriteFileBytes(File(u"D.bmj"_s), stored);
    TJob_FilesAndFolders job(u"D"_s);
    TBackupChainState chain;
    EXPECT_THROW(job.LoadRemoteJobFile(File(u"D.bmj"_s), true, chain), FileImageError);
}

TEST_F(JobFileTest, SaveFailureIsReportedOnlyByTheLocalWriter) {
    const QString missingFolder = AppDir() + u"/no such folder/J.qkd"_s;
    TJob_FilesAndFolders job(u"J"_s);
    EXPECT_FALSE(job.SaveLocalJobFile(missingFolder));
    EXPECT_EQ(
        TakeEventTexts(),
        QStringList{u"Unable to save the settings. Please check the possibility to write to the file: "_s +
                    missingFolder});
    EXPECT_TRUE(
        TJob_DriveImage(u"D"_s).SaveRemoteJobFile(File(u"D.bmj"_s))); // the remote writer reports nothing
    EXPECT_FALSE(TJob_DriveImage(u"D"_s).SaveRemoteJobFile(missingFolder));
    EXPECT_TRUE(TakeEventTexts().isEmpty());
}

} // namespace
} // namespace morvane
