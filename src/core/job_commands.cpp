#include "core/job_commands.h"

#include "core/job_import.h"
#include "core/source_rules.h"
#include "engine/backup_layout.h"
#include "engine/job_folder_owner.h"
#include "formats/events_log.h"
#include "i18n/translation.h"
#include "jobs/job_file.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "storage/storage_fs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTime>

#include <algorithm>

namespace morvane {

namespace {

// The source entries: a folder as its absolute path + "/*", a file as its absolute path; the first
// path that does not exist, or empty.
QString AddSourceEntries(const QStringList& paths, QStringList& entries) {
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists())
            return path;
        const QString absolute = QDir::cleanPath(info.absoluteFilePath());
        entries.append(info.isDir() ? JoinPath(absolute, QStringLiteral("*")) : absolute);
    }
    return QString();
}

QString RemoveBackupsFailureMessage() {
    return Translate(QStringLiteral("Unable to remove the backup folder.")) + QStringLiteral("\r\n\r\n") +
           Translate(QStringLiteral("Make sure the storage device is connected. Then remove it manually"));
}

} // namespace

TJobNameResult CheckJobName(const TJobsCatalogue& catalogue, const QString& typed) {
    TJobNameResult result;
    result.Check = catalogue.CheckNewName(typed, &result.Name);
    switch (result.Check) {
    case JobNameCheck::Ok:
    case JobNameCheck::Empty:
        break;
    case JobNameCheck::ForbiddenSymbols:
        result.Message = Translate(QStringLiteral("The following symbols are not allowed in the title:")) +
                         QStringLiteral("\r\n\r\n") + TJobsCatalogue::ForbiddenNameSymbols;
        break;
    case JobNameCheck::Taken:
        result.Message = FormatText(
            Translate(QStringLiteral("Job \"%s\" already exists. Please specify another name.")), {typed});
        break;
    }
    return result;
}

TJob* FindJobByName(const TJobsCatalogue& catalogue, const QString& name) {
    int index = catalogue.IndexOfExactName(name);
    if (index < 0)
        index = catalogue.IndexOfName(name);
    return index >= 0 ? &catalogue.At(index) : nullptr;
}

QString JobNotFoundMessage(const QString& name) {
    return FormatText(Translate(QStringLiteral("Job \"%s\" is not found.")), {name});
}

bool IsValidCopyCount(int count) {
    return count >= 0;
}

TNewJobFill FillNewJob(TJob_FilesAndFolders& job, const TNewFilesJobSettings& settings) {
    if (settings.BackupType)
        job.Settings.Backup.BackupType = *settings.BackupType;
    if (settings.FullBackupEveryCopies) {
        if (!IsValidCopyCount(*settings.FullBackupEveryCopies))
            return {NewJobProblem::FullEveryOutOfRange, {}};
        job.Settings.Backup.PerformFullBackup_EveryCopies = *settings.FullBackupEveryCopies;
    }
    if (settings.FullCopiesToKeep) {
        if (!IsValidCopyCount(*settings.FullCopiesToKeep))
            return {NewJobProblem::KeepOutOfRange, {}};
        job.Settings.Backup.NumberFullCopiesToKeep = *settings.FullCopiesToKeep;
    }
    job.Settings.Backup.RemoveOldBackupsBeforeStartingNewBackup = settings.RemoveOldBackupsFirst;
    // A mirror is one folder brought up to date; the other types add a folder per backup.
    job.NewSubfolderIsCreatedForEachBackup = job.Settings.Backup.BackupType != btSync;

    if (const QString missing = AddSourceEntries(settings.Sources, job.Settings.Sources.List);
        !missing.isEmpty())
        return {NewJobProblem::SourceMissing, missing};
    if (const QString pair = GetDuplicatedNamesOfFoldersOrFiles(job.Settings.Sources.List); !pair.isEmpty())
        return {NewJobProblem::DuplicatedSources, pair};
    if (settings.FilterType != ftNoFilters) {
        const QString text = NormalizeExtensionsText(settings.Extensions);
        switch (CheckExtensionsText(text)) {
        case ExtensionsCheck::Ok:
            break;
        case ExtensionsCheck::Empty:
            return {NewJobProblem::ExtensionsEmpty, {}};
        case ExtensionsCheck::ForbiddenCharacters:
            return {NewJobProblem::ExtensionsForbidden, {}};
        }
        job.Settings.Sources.FilterType = settings.FilterType;
        job.Settings.Sources.Extensions = text;
    }
    const QString& dest = settings.Destination;
    job.DestinationType = IsNetworkPath(dest) ? dtNetwork : dtExternalDevice;
    job.DestinationPath =
        job.DestinationType == dtNetwork ? dest : QDir::cleanPath(QFileInfo(dest).absoluteFilePath());
    job.Destination_NetworkUsername = settings.NetworkUser;
    job.Destination_NetworkPassword = settings.NetworkPassword;
    return {};
}

QString NewJobProblemMessage(const TNewJobFill& fill) {
    switch (fill.Problem) {
    case NewJobProblem::None:
    case NewJobProblem::FullEveryOutOfRange:
    case NewJobProblem::KeepOutOfRange:
        return QString();
    case NewJobProblem::SourceMissing:
        return QStringLiteral("The source does not exist: ") + fill.Detail;
    case NewJobProblem::DuplicatedSources:
        return DuplicatedNamesMessage(fill.Detail);
    case NewJobProblem::ExtensionsEmpty:
        return ExtensionsCheckMessage(ExtensionsCheck::Empty);
    case NewJobProblem::ExtensionsForbidden:
        return ExtensionsCheckMessage(ExtensionsCheck::ForbiddenCharacters);
    }
    return QString();
}

bool SaveJobsListOrLog(const TJobsCatalogue& catalogue) {
    if (catalogue.SaveJobsList())
        return true;
    AddToEventsLog(Translate(QStringLiteral("Error: unable to save the jobs list:")) +
                   catalogue.JobsListFile());
    return false;
}

TJobCommandResult CreateFilesJob(TJobsCatalogue& catalogue, const QString& name, const QString& typed,
                                 const TNewFilesJobSettings& settings) {
    auto job = std::make_unique<TJob_FilesAndFolders>(name);
    if (const TNewJobFill fill = FillNewJob(*job, settings); fill.Problem != NewJobProblem::None)
        return {JobCommandOutcome::Refused, NewJobProblemMessage(fill), {}, nullptr};
    const QString jobFile = catalogue.JobFilePath(name);
    if (!job->SaveLocalJobFile(jobFile))
        return {JobCommandOutcome::JobFileNotSaved,
                QStringLiteral("Unable to save the job file: ") + jobFile,
                {},
                nullptr};
    TJob& added = catalogue.Append(std::move(job));
    const bool saved = SaveJobsListOrLog(catalogue);
    AddToEventsLog(FormatText(Translate(QStringLiteral("Created new job: \"%s\".")), {typed}));
    return {saved ? JobCommandOutcome::Done : JobCommandOutcome::JobsListNotSaved, {}, {}, &added};
}

std::optional<QString> JobNameOfStorageCopy(const QString& path) {
    const QString fileName = ExtractFileName(path);
    if (!path.contains(QStringLiteral(".bmj")) || fileName.size() <= 4)
        return std::nullopt;
    return fileName.chopped(4);
}

TJobCommandResult ImportStorageCopy(TJobsCatalogue& catalogue, const QString& path, const QString& name,
                                    const QString& networkUser, const QString& networkPassword) {
    return AddImportedJob(catalogue, ImportJobFromStorage(path, name, networkUser, networkPassword), name);
}

TJobCommandResult AddImportedJob(TJobsCatalogue& catalogue, TImportedJob imported, const QString& name) {
    if (!imported.Job)
        return {JobCommandOutcome::Failed, imported.Failure, imported.Log, nullptr};
    // Without its job file the job would be gone at the next start while the list still named it.
    const QString jobFile = catalogue.JobFilePath(name);
    if (!SaveLocalJobFile(*imported.Job, jobFile))
        return {JobCommandOutcome::JobFileNotSaved, QStringLiteral("Unable to save the job file: ") + jobFile,
                imported.Log, nullptr};
    AddToEventsLog(FormatText(Translate(QStringLiteral("Job is open: \"%s\".")), {name}));
    TJob& added = catalogue.Append(std::move(imported.Job));
    const bool saved = SaveJobsListOrLog(catalogue);
    return {saved ? JobCommandOutcome::Done : JobCommandOutcome::JobsListNotSaved, {}, imported.Log, &added};
}

namespace {

// True when the storage is reachable and holds neither the job's folder nor its storage copy.
bool NothingOnStorage(TJob& job) {
    job.OptionsToJobOptions();
    const TConnectResult connection = job.ConnectToStorage();
    bool absent = false;
    if (connection.Connected && !connection.JobFolder.isEmpty()) {
        const TOwnerCheck owner = CheckJobFolderOwner(job, connection.JobFolder);
        absent = owner.Problem.isEmpty() && owner.Owner == TFolderOwner::Absent;
    }
    job.DisconnectFromStorage();
    return absent;
}

} // namespace

bool RemoveBackupFolder(TJob& job) {
    auto* files = dynamic_cast<TJob_FilesAndFolders*>(&job);
    // A job that never wrote to the storage leaves nothing to remove there; that is no failure.
    if (files && NothingOnStorage(job))
        return true;
    // A drive-image job's images go through the imaging tool, with this program's rights.
    const bool removed = files ? files->Remove() : static_cast<TJob_DriveImage&>(job).Remove();
    if (removed)
        AddToEventsLog(job.TranslateForCurrentThread(
            QStringLiteral("The backup folder has been removed successfully on the storage device.")));
    return removed;
}

TJobCommandResult RemoveJobRecord(TJobsCatalogue& catalogue, TJob& job, bool folderRemoved) {
    const QString name = job.stJobName;
    const QString jobFile = catalogue.JobFilePath(name);
    if (FileExists(jobFile) && !QFile::remove(jobFile))
        AddToEventsLog(Translate(QStringLiteral("Error: unable to remove the file:")) + jobFile);
    catalogue.Take(catalogue.IndexOfExactName(name));
    const bool saved = SaveJobsListOrLog(catalogue);
    if (saved)
        AddToEventsLog(Translate(QStringLiteral("Job is removed.")));
    if (!folderRemoved)
        return {JobCommandOutcome::Failed, RemoveBackupsFailureMessage(), {}, nullptr};
    return {saved ? JobCommandOutcome::Done : JobCommandOutcome::JobsListNotSaved, {}, {}, nullptr};
}

TJobCommandResult RemoveJobFromCatalogue(TJobsCatalogue& catalogue, TJob& job, bool withBackups) {
    return RemoveJobRecord(catalogue, job, !withBackups || RemoveBackupFolder(job));
}

QString NextDuplicateName(const TJobsCatalogue& catalogue, const QString& name) {
    const QString marker = Translate(QStringLiteral("Duplicated"));
    QString proposed = name + QStringLiteral(" (") + marker + u')';
    for (int number = 2; catalogue.IndexOfName(proposed) >= 0; ++number)
        proposed = name + QStringLiteral(" (") + marker + u' ' + QString::number(number) + u')';
    return proposed;
}

TJobCommandResult DuplicateJob(TJobsCatalogue& catalogue, const TJob& source, const QString& name,
                               const QString& typed) {
    std::unique_ptr<TJob> job;
    if (const auto* files = dynamic_cast<const TJob_FilesAndFolders*>(&source)) {
        auto copy = std::make_unique<TJob_FilesAndFolders>(name);
        copy->Settings = files->Settings;
        job = std::move(copy);
    } else {
        const auto& image = static_cast<const TJob_DriveImage&>(source);
        auto copy = std::make_unique<TJob_DriveImage>(name);
        copy->Settings = image.Settings;
        job = std::move(copy);
    }
    job->NewSubfolderIsCreatedForEachBackup = source.NewSubfolderIsCreatedForEachBackup;
    job->CanPause = source.CanPause;
    job->SchedulingSettings = source.SchedulingSettings;
    job->DestinationType = source.DestinationType;
    job->DestinationPath = source.DestinationPath;
    job->Destination_NetworkUsername = source.Destination_NetworkUsername;
    job->Destination_NetworkPassword = source.Destination_NetworkPassword;
    const QString jobFile = catalogue.JobFilePath(name);
    if (!SaveLocalJobFile(*job, jobFile))
        return {JobCommandOutcome::JobFileNotSaved,
                QStringLiteral("Unable to save the job file: ") + jobFile,
                {},
                nullptr};
    TJob& added = catalogue.Append(std::move(job));
    const bool saved = SaveJobsListOrLog(catalogue);
    AddToEventsLog(FormatText(Translate(QStringLiteral("Created new job: \"%s\".")), {typed}));
    return {saved ? JobCommandOutcome::Done : JobCommandOutcome::JobsListNotSaved, {}, {}, &added};
}

TRenameCheck CheckRename(const TJobsCatalogue& catalogue, const TJob& job, const QString& typed) {
    TRenameCheck result;
    const JobNameCheck check = catalogue.CheckNewName(typed, &result.Name);
    if (check == JobNameCheck::Empty)
        return result;
    if (check == JobNameCheck::ForbiddenSymbols) {
        result.Message = CheckJobName(catalogue, typed).Message;
        return result;
    }
    if (result.Name == job.stJobName)
        return result;
    // The job's own name in other letter case counts as taken: the files of both names would be one
    // on a storage that ignores case.
    if (check == JobNameCheck::Taken) {
        result.Message = FormatText(
            Translate(QStringLiteral("Job \"%s\" already exists. Please specify another name.")), {typed});
        return result;
    }
    result.Proceed = true;
    return result;
}

namespace {

void AddRenameLine(const TJob& job, TRenameSteps& steps, bool done, const QString& from, const QString& to) {
    const QString text = done ? QStringLiteral("Renamed: %s -> %s") : QStringLiteral("Not renamed: %s -> %s");
    steps.Lines.append(FormatText(job.TranslateForCurrentThread(text), {from, to}));
}

// The backup folder and the storage copy beside it; false when the job must keep its old name. A job
// that never ran here (`ran` false) has something there only when it was imported with its folder:
// the folder is renamed then, and an unreachable storage or a folder of somebody else's is left alone.
bool RenameOnStorage(TJob& job, const QString& newName, bool ran, TRenameSteps& steps) {
    const TConnectResult connection = job.ConnectToStorage();
    if (!connection.Connected || connection.JobFolder.isEmpty()) {
        if (!ran) {
            job.DisconnectFromStorage();
            return true;
        }
        AddToEventsLog(connection.Error);
        steps.Lines.append(connection.Error);
        return false;
    }
    const QString oldFolder = connection.JobFolder;
    // Nothing of the job there (it never ran here, or its runs never reached the storage): only the
    // local files change. A folder whose owner could not be learnt is not taken for absent.
    const TOwnerCheck owner = CheckJobFolderOwner(job, oldFolder);
    const bool absent = owner.Problem.isEmpty() && owner.Owner == TFolderOwner::Absent;
    if (absent || (!ran && owner.Owner != TFolderOwner::Ours)) {
        job.DisconnectFromStorage();
        return true;
    }
    steps.StorageTouched = true;
    const QString newFolder = JoinPath(job.DestinationPath, newName);
    bool renamed = false;
    if (const QString refusal = RefuseForeignJobFolder(job, oldFolder); !refusal.isEmpty()) {
        const QString line = job.TranslateForCurrentThread(QStringLiteral("ERROR:")) + u' ' + refusal;
        AddToEventsLog(line);
        steps.Lines.append(line);
    } else {
        steps.StorageFolder =
            job.FileOperation(atRenameRemoteFolder, newFolder, oldFolder, 0, false) == orSuccess;
        AddRenameLine(job, steps, steps.StorageFolder, oldFolder, newFolder);
        if (steps.StorageFolder) {
            const QString oldCopy = oldFolder + JobCopyExtension;
            const QString newCopy = newFolder + JobCopyExtension;
            steps.StorageCopy =
                job.FileOperation(atRenameRemoteFile, newCopy, oldCopy, 0, false) == orSuccess;
            AddRenameLine(job, steps, steps.StorageCopy, oldCopy, newCopy);
            // The job keeps its old name now: its folder must keep it too, or the next backup would
            // start a new chain beside the renamed one.
            if (!steps.StorageCopy &&
                job.FileOperation(atRenameRemoteFolder, oldFolder, newFolder, 0, false) == orSuccess) {
                steps.StorageFolder = false;
                AddRenameLine(job, steps, true, newFolder, oldFolder);
            }
            renamed = steps.StorageCopy;
        }
    }
    job.DisconnectFromStorage();
    return renamed;
}

} // namespace

TRenameSteps ChangeName(TJob& job, const QString& newName, const QString& jobFilesDirectory) {
    TRenameSteps steps;
    const QString oldName = job.stJobName;
    const bool ran = job.LastJobResult.EndTime.load() != 0;
    job.JobOperation = joRename;
    const bool storageRenamed = RenameOnStorage(job, newName, ran, steps);
    if (storageRenamed) {
        const QString logs = job.JobOptions.Logging.PathForLogFiles;
        const QString oldLogs = JoinPath(logs, oldName);
        const QString newLogs = JoinPath(logs, newName);
        if (QFileInfo(oldLogs).isDir()) {
            steps.LogFolder = QDir().rename(oldLogs, newLogs);
            AddRenameLine(job, steps, steps.LogFolder, oldLogs, newLogs);
        }
    }
    if (storageRenamed) {
        const QString oldFile = LocalJobFilePath(jobFilesDirectory, oldName);
        const QString newFile = LocalJobFilePath(jobFilesDirectory, newName);
        if (QFile::exists(newFile))
            QFile::remove(newFile);
        steps.JobFile = QFile::rename(oldFile, newFile);
        AddRenameLine(job, steps, steps.JobFile, oldFile, newFile);
        if (!steps.JobFile)
            AddToEventsLog(FormatText(
                job.TranslateForCurrentThread(
                    QStringLiteral("Unable to rename the file \"%s\" to \"%s\" in directory: %s")),
                {oldName + QStringLiteral(".qkd"), newName + QStringLiteral(".qkd"), jobFilesDirectory}));
    }
    return steps;
}

TJobCommandResult FinishRename(TJobsCatalogue& catalogue, TJob& job, const QString& newName,
                               const TRenameSteps& steps) {
    if (!steps.JobFile)
        return {JobCommandOutcome::Failed,
                Translate(QStringLiteral(
                    "Unable to rename the job. Please learn last error messages in the Events log.")),
                steps.Lines, &job};
    const QString oldName = job.stJobName;
    job.stJobName = newName;
    const bool saved = SaveJobsListOrLog(catalogue);
    AddToEventsLog(
        FormatText(Translate(QStringLiteral("Job \"%s\" is renamed to \"%s\".")), {oldName, newName}));
    return {saved ? JobCommandOutcome::Done : JobCommandOutcome::JobsListNotSaved, {}, steps.Lines, &job};
}

std::optional<QString> ScheduleTimeEntry(const QString& text) {
    QTime time = QTime::fromString(text.trimmed(), QStringLiteral("H:mm:ss"));
    if (!time.isValid())
        time = QTime::fromString(text.trimmed(), QStringLiteral("H:mm"));
    if (!time.isValid())
        return std::nullopt;
    return time.toString(QStringLiteral("hh:mm:ss"));
}

TScheduleResult BuildSchedule(const TSchedulingSettings& current, const TScheduleRequest& request) {
    TScheduleResult result;
    result.Schedule = current;
    TSchedulingSettings& schedule = result.Schedule;
    if (request.Type == TScheduleRequest::Kind::Off) {
        schedule.SchedulingType = stDisabled;
        return result;
    }
    if (request.Times.isEmpty()) {
        result.Problem = ScheduleProblem::NoTimes;
        return result;
    }
    QStringList table;
    for (const QString& text : request.Times) {
        const std::optional<QString> entry = ScheduleTimeEntry(text);
        if (!entry) {
            result.Problem = ScheduleProblem::TimeInvalid;
            result.Detail = text;
            return result;
        }
        if (table.contains(*entry)) {
            result.Problem = ScheduleProblem::TimeRepeated;
            result.Detail = *entry;
            return result;
        }
        table.append(*entry);
    }
    std::sort(table.begin(), table.end()); // fixed-width digits sort as times
    if (request.Type == TScheduleRequest::Kind::DaysOfWeek) {
        schedule.DaysOfWeek = request.Weekdays;
        schedule.SchedulingType = stDaysOfWeek;
    } else {
        std::array<bool, 31> days{};
        for (const int day : request.MonthDays) {
            if (day < 1 || day > 31) {
                result.Problem = ScheduleProblem::MonthDayOutOfRange;
                return result;
            }
            days[day - 1] = true;
        }
        schedule.DaysOfMonth = days;
        schedule.SchedulingType = stDaysOfMonth;
    }
    schedule.TimeTable = table;
    schedule.RunJobAsSoonAsPossibleAfterAScheduledStartIsMissed = request.CatchUp;
    schedule.ShutdownPCInTheEnd = request.Shutdown;
    return result;
}

TJobCommandResult SaveJobSchedule(const TJobsCatalogue& catalogue, TJob& job, TSchedulingSettings schedule) {
    schedule.LastModificationDateTime = Now();
    job.SchedulingSettings = schedule;
    const QString jobFile = catalogue.JobFilePath(job.stJobName);
    if (!SaveLocalJobFile(job, jobFile))
        return {JobCommandOutcome::JobFileNotSaved,
                QStringLiteral("Unable to save the job file: ") + jobFile,
                {},
                &job};
    return {JobCommandOutcome::Done, {}, {}, &job};
}

} // namespace morvane
