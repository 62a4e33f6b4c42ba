// Reading and writing the four variants of the job file: the local file (".qkd") and the storage copy
// (".bmj"), each for files-and-folders and drive-image jobs.

#include "jobs/job_file.h"

#include "formats/encryptor.h"
#include "formats/events_log.h"
#include "formats/file_image.h"
#include "i18n/translation.h"
#include "jobs/job.h"
#include "platform/paths.h"
#include "platform/program_state.h"

#include <QFile>
#include <QSaveFile>

#include <optional>

namespace morvane {

namespace {

enum class FileKindField : int32_t { FilesAndFolders = 1, DriveImage = 2 };

// --- Whole-file input and output -------------------------------------------------------------------

enum class LoadFailure { None, Missing, Open, Read };

struct LoadedImage {
    LoadFailure failure = LoadFailure::None;
    QByteArray plain;
};

LoadedImage ReadPlainImage(const QString& fileName) {
    QFile file(fileName);
    if (!file.exists())
        return {LoadFailure::Missing, {}};
    if (!file.open(QIODevice::ReadOnly))
        return {LoadFailure::Open, {}};
    const QByteArray stored = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {LoadFailure::Read, {}};
    return {LoadFailure::None, UnscrambleFileImage(stored)};
}

// Replaces the file as a whole: the image goes to a sibling file that is then renamed over the target,
// so a crash leaves either the old file or the new one.
bool WritePlainImage(const QString& fileName, const QByteArray& plain) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray stored = ScrambleFileImage(plain);
    if (file.write(stored) != stored.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

// The version, and the kind where the version carries one.
int32_t ReadHeader(FileImageReader& reader) {
    const int32_t version = reader.Int32();
    if (version <= 3)
        return static_cast<int32_t>(FileKindField::FilesAndFolders);
    return reader.Int32();
}

void WriteHeader(FileImageWriter& writer, FileKindField kind) {
    writer.Int32(JobFileVersion);
    writer.Int32(static_cast<int32_t>(kind));
}

void RequireKind(int32_t stated, FileKindField expected) {
    if (stated != static_cast<int32_t>(expected))
        throw FileImageError("the file belongs to the other kind of job");
}

// --- Field groups shared by several variants ---------------------------------------------------------

void WriteResultAndRecords(FileImageWriter& w, const TJob& job) {
    w.DateTime(job.LastJobResult.StartTime);
    w.DateTime(job.LastJobResult.EndTime);
    w.Bool8(job.LastJobResult.Cancelled);
    w.Int32(job.LastJobResult.ErrorsCount);
    w.Int32(job.LastJobResult.WarningsCount);
    w.StringList(job.LogList);
    w.StringList(job.BackupHistory);
}

void ReadResultAndRecords(FileImageReader& r, TJob& job) {
    job.LastJobResult.StartTime = r.DateTime();
    job.LastJobResult.EndTime = r.DateTime();
    job.LastJobResult.Cancelled = r.Bool8();
    job.LastJobResult.ErrorsCount = r.Int32();
    job.LastJobResult.WarningsCount = r.Int32();
    job.LogList = r.StringList();
    job.BackupHistory = r.StringList();
}

void WriteDestination(FileImageWriter& w, const TJob& job) {
    w.String(job.DestinationPath);
    w.String(job.Destination_NetworkUsername);
    w.String(job.Destination_NetworkPassword);
}

void ReadDestination(FileImageReader& r, TJob& job) {
    job.DestinationPath = r.String();
    job.Destination_NetworkUsername = r.String();
    job.Destination_NetworkPassword = r.String();
}

void WriteSchedule(FileImageWriter& w, const TSchedulingSettings& s) {
    w.Enum32(s.SchedulingType);
    for (const bool day : s.DaysOfWeek)
        w.Bool8(day);
    for (const bool day : s.DaysOfMonth)
        w.Bool8(day);
    w.StringList(s.TimeTable);
    w.DateTime(s.LastModificationDateTime);
    w.Bool8(s.RunJobAsSoonAsPossibleAfterAScheduledStartIsMissed);
    w.Bool8(s.ShutdownPCInTheEnd);
}

void ReadSchedule(FileImageReader& r, TSchedulingSettings& s) {
    s.SchedulingType = static_cast<TSchedulingType>(r.Enum32(SchedulingTypeCount));
    for (bool& day : s.DaysOfWeek)
        day = r.Bool8();
    for (bool& day : s.DaysOfMonth)
        day = r.Bool8();
    s.TimeTable = r.StringList();
    s.LastModificationDateTime = r.DateTime();
    s.RunJobAsSoonAsPossibleAfterAScheduledStartIsMissed = r.Bool8();
    s.ShutdownPCInTheEnd = r.Bool8();
}

void WriteFilesSettings(FileImageWriter& w, const TJob_FilesAndFolders& job) {
    const auto& sources = job.Settings.Sources;
    const auto& backup = job.Settings.Backup;
    w.StringList(sources.List);
    w.Enum8(sources.FilterType);
    w.String(sources.Extensions);
    WriteDestination(w, job);
    w.Enum32(job.DestinationType);
    w.Enum32(backup.BackupType);
    w.Int32(backup.PerformFullBackup_EveryCopies);
    w.Int32(backup.NumberFullCopiesToKeep);
    w.Bool8(backup.RemoveOldBackupsBeforeStartingNewBackup);
    WriteSchedule(w, job.SchedulingSettings);
}

void ReadFilesSettings(FileImageReader& r, TJob_FilesAndFolders& job) {
    auto& sources = job.Settings.Sources;
    auto& backup = job.Settings.Backup;
    sources.List = r.StringList();
    sources.FilterType = static_cast<TFilterType>(r.Enum8(FilterTypeCount));
    sources.Extensions = r.String();
    ReadDestination(r, job);
    job.DestinationType = static_cast<TDestinationType>(r.Enum32(DestinationTypeCount));
    backup.BackupType = static_cast<TBackupType>(r.Enum32(BackupTypeCount));
    job.NewSubfolderIsCreatedForEachBackup = backup.BackupType != btSync;
    backup.PerformFullBackup_EveryCopies = r.Int32();
    backup.NumberFullCopiesToKeep = r.Int32();
    backup.RemoveOldBackupsBeforeStartingNewBackup = r.Bool8();
    ReadSchedule(r, job.SchedulingSettings);
}

void WriteDriveSettings(FileImageWriter& w, const TJob_DriveImage& job) {
    w.StringList(job.Settings.SourceDrivesList);
    w.Bool8(job.Settings.AutocleanOldBackups);
    w.String(job.Settings.NumberOfBackupVersionsToKeep);
    w.Enum32(job.DestinationType);
    WriteDestination(w, job);
    WriteSchedule(w, job.SchedulingSettings);
}

void ReadDriveSettings(FileImageReader& r, TJob_DriveImage& job) {
    job.NewSubfolderIsCreatedForEachBackup = true;
    job.Settings.SourceDrivesList.clear();
    job.Settings.SourceDrivesList = r.StringList();
    job.Settings.AutocleanOldBackups = r.Bool8();
    job.Settings.NumberOfBackupVersionsToKeep = r.String();
    job.DestinationType = static_cast<TDestinationType>(r.Enum32(DestinationTypeCount));
    ReadDestination(r, job);
    ReadSchedule(r, job.SchedulingSettings);
}

void WriteChainState(FileImageWriter& w, const TBackupChainState& chain) {
    w.StringList(chain.MainBackupList);
    w.StringList(chain.PreviousLocalFilesList);
    w.StringList(chain.PreviousLocalFilesTimeList);
    w.StringList(chain.PreviousLocalDirsList);
    w.Int64(chain.SizeOfLastFullBackup);
    w.Int64(chain.SizeOfAllIncrementsOrLastDifferentialCopy);
}

void ReadChainState(FileImageReader& r, TBackupChainState& chain) {
    chain.MainBackupList.append(r.StringList());
    chain.PreviousLocalFilesList.append(r.StringList());
    chain.PreviousLocalFilesTimeList.append(r.StringList());
    chain.PreviousLocalDirsList.append(r.StringList());
    chain.SizeOfLastFullBackup = r.Int64();
    chain.SizeOfAllIncrementsOrLastDifferentialCopy = r.Int64();
}

// --- Local loading and saving with their reports ---------------------------------------------------

QString TranslateFor(const TJob* job, const QString& text) {
    if (job)
        return job->TranslateForCurrentThread(text);
    return IsUserInterfaceThread() ? Translate(text) : text;
}

void ReportLoadFailure(const TJob* translator, const QString& subject, LoadFailure failure) {
    const QString pattern = failure == LoadFailure::Open ? TR_NOOP("Error loading job \"%s\". Code: 2")
                                                         : TR_NOOP("Error loading job \"%s\". Code: 1");
    AddToEventsLog(FormatText(TranslateFor(translator, pattern), {subject}));
}

// Reads the image, checks its kind and hands the reader to `readBody`; failures are reported in the
// events log. Fields read before a failure stay in the job.
template <typename ReadBody>
bool LoadLocal(TJob& job, const QString& path, FileKindField kind, ReadBody readBody) {
    const LoadedImage image = ReadPlainImage(path);
    if (image.failure == LoadFailure::Missing)
        return false;
    if (image.failure != LoadFailure::None) {
        ReportLoadFailure(&job, job.stJobName, image.failure);
        return false;
    }
    try {
        FileImageReader reader(image.plain);
        RequireKind(ReadHeader(reader), kind);
        readBody(reader);
        return true;
    } catch (const FileImageError&) {
        ReportLoadFailure(&job, job.stJobName, LoadFailure::Read);
        return false;
    }
}

bool SaveLocal(const TJob& job, const QString& path, const QByteArray& plain) {
    if (WritePlainImage(path, plain))
        return true;
    AddToEventsLog(job.TranslateForCurrentThread(QStringLiteral(
                       "Unable to save the settings. Please check the possibility to write to the file:")) +
                   u' ' + path);
    return false;
}

// The remote readers raise every failure to the caller; a missing file changes nothing.
std::optional<FileImageReader> OpenRemote(const QString& path, FileKindField kind) {
    LoadedImage image = ReadPlainImage(path);
    if (image.failure == LoadFailure::Missing)
        return std::nullopt;
    if (image.failure != LoadFailure::None)
        throw FileImageError("the storage copy of the job cannot be read");
    FileImageReader reader(image.plain);
    RequireKind(ReadHeader(reader), kind);
    return reader;
}

} // namespace

// --- Files-and-folders job ---------------------------------------------------------------------------

bool TJob_FilesAndFolders::SaveLocalJobFile(const QString& AFileName) {
    FileImageWriter w;
    WriteHeader(w, FileKindField::FilesAndFolders);
    WriteResultAndRecords(w, *this);
    WriteFilesSettings(w, *this);
    return SaveLocal(*this, AFileName, w.Bytes());
}

bool TJob_FilesAndFolders::LoadLocalJobFile(const QString& path) {
    return LoadLocal(*this, path, FileKindField::FilesAndFolders, [this](FileImageReader& r) {
        ReadResultAndRecords(r, *this);
        ReadFilesSettings(r, *this);
    });
}

bool TJob_FilesAndFolders::LoadRemoteJobFile(const QString& path, bool LoadJobSettings,
                                             TBackupChainState& chain) {
    std::optional<FileImageReader> reader = OpenRemote(path, FileKindField::FilesAndFolders);
    if (!reader)
        return true;
    ReadChainState(*reader, chain);
    if (LoadJobSettings) {
        ReadFilesSettings(*reader, *this);
        SchedulingSettings.SchedulingType = stDisabled;
    }
    return true;
}

bool TJob_FilesAndFolders::SaveRemoteJobFile(const QString& fileName, const TBackupChainState& chain) const {
    FileImageWriter w;
    WriteHeader(w, FileKindField::FilesAndFolders);
    WriteChainState(w, chain);
    WriteFilesSettings(w, *this);
    return WritePlainImage(fileName, w.Bytes());
}

// --- Drive-image job ---------------------------------------------------------------------------------

bool TJob_DriveImage::SaveLocalJobFile(const QString& AFileName) {
    FileImageWriter w;
    WriteHeader(w, FileKindField::DriveImage);
    WriteResultAndRecords(w, *this);
    WriteDriveSettings(w, *this);
    return SaveLocal(*this, AFileName, w.Bytes());
}

bool TJob_DriveImage::LoadLocalJobFile(const QString& path) {
    return LoadLocal(*this, path, FileKindField::DriveImage, [this](FileImageReader& r) {
        ReadResultAndRecords(r, *this);
        ReadDriveSettings(r, *this);
    });
}

bool TJob_DriveImage::LoadRemoteJobFile(const QString& path, bool LoadJobSettings) {
    std::optional<FileImageReader> reader = OpenRemote(path, FileKindField::DriveImage);
    if (reader && LoadJobSettings) {
        ReadDriveSettings(*reader, *this);
        SchedulingSettings.SchedulingType = stDisabled;
    }
    return true;
}

bool TJob_DriveImage::SaveRemoteJobFile(const QString& fileName) const {
    FileImageWriter w;
    WriteHeader(w, FileKindField::DriveImage);
    WriteDriveSettings(w, *this);
    return WritePlainImage(fileName, w.Bytes());
}

QString LocalJobFilePath(const QString& applicationDirectory, const QString& jobName) {
    return JoinPath(applicationDirectory, jobName + QStringLiteral(".qkd"));
}

// --- By kind -----------------------------------------------------------------------------------------

bool SaveLocalJobFile(TJob& job, const QString& path) {
    if (auto* files = dynamic_cast<TJob_FilesAndFolders*>(&job))
        return files->SaveLocalJobFile(path);
    return static_cast<TJob_DriveImage&>(job).SaveLocalJobFile(path);
}

bool LoadLocalJobFile(TJob& job, const QString& path) {
    if (auto* files = dynamic_cast<TJob_FilesAndFolders*>(&job))
        return files->LoadLocalJobFile(path);
    return static_cast<TJob_DriveImage&>(job).LoadLocalJobFile(path);
}

int GetJobFileKind(const QString& fileName, const TJob* translator) {
    const LoadedImage image = ReadPlainImage(fileName);
    if (image.failure == LoadFailure::Missing)
        return 0;
    if (image.failure != LoadFailure::None) {
        ReportLoadFailure(translator, fileName, image.failure);
        return 0;
    }
    try {
        FileImageReader reader(image.plain);
        return ReadHeader(reader);
    } catch (const FileImageError&) {
        ReportLoadFailure(translator, fileName, LoadFailure::Read);
        return 0;
    }
}

} // namespace morvane
