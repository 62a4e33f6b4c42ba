#include "control/job_wizard.h"

#include "control/user_prompt.h"
#include "core/job_commands.h"
#include "core/jobs_catalogue.h"
#include "core/source_rules.h"
#include "i18n/translation.h"
#include "platform/date_time.h"
#include "platform/volumes.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace morvane {

namespace {

TWizardMessage Warning(const QString& text) {
    return {text, TWizardMessage::Kind::Warning, true, false};
}

QString ChooseCorrectUncPath() {
    return Translate(QStringLiteral("Please choose correct UNC-path"));
}

// The whole root file system: only its files are copied, not a system that can be started again.
QString WholeDiskMessage() {
    // clang-format off
    return Translate(QStringLiteral("You have selected the whole disk C: for backup.")) + QStringLiteral("\r\n\r\n") +
           Translate(QStringLiteral("Please note that only the files and folders will be copied. You will not be able to restore the entire operating system from this backup.")) + QStringLiteral("\r\n") +
           Translate(QStringLiteral("If you want to make an exact copy of the operating system with all settings, files and applications, exit the Wizard.")) + QStringLiteral("\r\n") +
           Translate(QStringLiteral("Then create a new backup job of type \"Drive Image Backup\"."));
    // clang-format on
}

bool IsWholeSystemDisk(const QString& entry) {
    return entry == QStringLiteral("/*");
}

// The folder or file an entry stands for.
QString EntryPath(const QString& entry) {
    if (entry.endsWith(u'*')) {
        QString path = entry.size() > 2 ? entry.left(entry.size() - 2) : entry.left(entry.size() - 1);
        return path.isEmpty() ? QStringLiteral("/") : path;
    }
    return entry;
}

} // namespace

void ShowWizardMessage(IUserPrompt& prompt, const TWizardMessage& message) {
    if (message.MessageKind == TWizardMessage::Kind::Error)
        prompt.ShowError(message.Text);
    else
        prompt.ShowMessage(message.Text);
}

void TScheduleFields::SetDaysOfWeekChecked(bool checked) {
    DaysOfWeekChecked = checked;
    if (checked)
        DaysOfMonthChecked = false;
}

void TScheduleFields::SetDaysOfMonthChecked(bool checked) {
    DaysOfMonthChecked = checked;
    if (checked)
        DaysOfWeekChecked = false;
}

std::optional<TWizardMessage> AddTimeToTimetable(QStringList& timetable, const QTime& time) {
    const QString text = TimeOfDayText(time);
    if (timetable.contains(text))
        return Warning(Translate(QStringLiteral("Record already exists")));
    // The texts are zero-padded, so their order is the order of the times.
    const auto place = std::upper_bound(timetable.begin(), timetable.end(), text);
    timetable.insert(place, text);
    return std::nullopt;
}

std::optional<TWizardMessage> CheckSchedulePage(const TScheduleFields& fields) {
    if (!fields.TimetableEnabled())
        return std::nullopt;
    const bool anyDay =
        fields.DaysOfWeekChecked
            ? std::any_of(fields.Weekdays.begin(), fields.Weekdays.end(), [](bool d) { return d; })
            : std::any_of(fields.MonthDays.begin(), fields.MonthDays.end(), [](bool d) { return d; });
    if (!anyDay)
        return Warning(Translate(QStringLiteral("Please specify at least one day.")));
    if (fields.TimeTable.isEmpty())
        return Warning(Translate(QStringLiteral("Please add at least one record to the timetable.")));
    return std::nullopt;
}

TScheduleFields ScheduleToFields(const TSchedulingSettings& schedule) {
    TScheduleFields fields;
    fields.DaysOfWeekChecked = schedule.SchedulingType == stDaysOfWeek;
    fields.DaysOfMonthChecked = schedule.SchedulingType == stDaysOfMonth;
    fields.Weekdays = schedule.DaysOfWeek;
    fields.MonthDays = schedule.DaysOfMonth;
    fields.TimeTable = schedule.TimeTable;
    fields.RunMissedStart = schedule.RunJobAsSoonAsPossibleAfterAScheduledStartIsMissed;
    fields.ShutdownAtEnd = schedule.ShutdownPCInTheEnd;
    return fields;
}

void FieldsToSchedule(const TScheduleFields& fields, TSchedulingSettings& schedule) {
    schedule.SchedulingType = fields.DaysOfWeekChecked    ? stDaysOfWeek
                              : fields.DaysOfMonthChecked ? stDaysOfMonth
                                                          : stDisabled;
    schedule.DaysOfWeek = fields.Weekdays;
    schedule.DaysOfMonth = fields.MonthDays;
    schedule.TimeTable = fields.TimeTable;
    schedule.LastModificationDateTime = Now();
    schedule.RunJobAsSoonAsPossibleAfterAScheduledStartIsMissed = fields.RunMissedStart;
    schedule.ShutdownPCInTheEnd = fields.ShutdownAtEnd;
}

QString TDestinationFields::PasswordStatusText() const {
    return PasswordSet() ? Translate(QStringLiteral("Password is set"))
                         : Translate(QStringLiteral("Password is not set"));
}

std::optional<QString> ConfirmedPassword(const QString& typed, const QString& confirmation) {
    const QString password = TJobsCatalogue::TrimName(typed);
    if (password != TJobsCatalogue::TrimName(confirmation))
        return std::nullopt;
    return password;
}

QString PasswordsDoNotMatchText() {
    return Translate(QStringLiteral("Passwords do not match."));
}

std::optional<TWizardMessage> CheckSourcesPage(const QStringList& sources, TFilterType filter,
                                               QString& extensions) {
    if (sources.isEmpty())
        return Warning(Translate(QStringLiteral("Please add one or more sources to the list")));
    if (filter != ftNoFilters) {
        extensions = NormalizeExtensionsText(extensions);
        if (const ExtensionsCheck check = CheckExtensionsText(extensions); check != ExtensionsCheck::Ok)
            return Warning(ExtensionsCheckMessage(check));
    }
    if (const QString pair = GetDuplicatedNamesOfFoldersOrFiles(sources); !pair.isEmpty())
        return TWizardMessage{DuplicatedNamesMessage(pair), TWizardMessage::Kind::Error, true, true};
    if (std::any_of(sources.begin(), sources.end(), IsWholeSystemDisk))
        return TWizardMessage{WholeDiskMessage(), TWizardMessage::Kind::Warning, false, false};
    return std::nullopt;
}

bool LocalFolderExists(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

QStringList MissingSources(const QStringList& entries) {
    QStringList missing;
    for (const QString& entry : entries) {
        const QFileInfo info(EntryPath(entry));
        const bool present = entry.endsWith(u'*') ? info.isDir() : info.exists() && !info.isDir();
        if (!present)
            missing.append(entry);
    }
    return missing;
}

std::optional<TWizardMessage> CheckFilesDestinationPage(const TDestinationFields& destination,
                                                        std::optional<bool> folderExists) {
    if (!destination.Network) {
        const bool exists = folderExists ? *folderExists : LocalFolderExists(destination.LocalPath);
        if (destination.LocalPath.isEmpty() || !exists)
            return Warning(Translate(QStringLiteral("Please choose existing folder")));
    } else if (destination.NetworkPath.size() < 2) {
        return Warning(ChooseCorrectUncPath());
    }
    return std::nullopt;
}

void TFilesWizard::ClearControls() {
    Sources.clear();
    FilterType = ftNoFilters;
    Extensions = QStringLiteral("txt;doc;exe");
    Destination = TDestinationFields{};
    Destination.NetworkPath = QStringLiteral("\\");
    BackupType = btSync;
    FullBackupEveryCopies = 5;
    FullCopiesToKeep = 10;
    RemoveOldFirst = false;
    Schedule = TScheduleFields{};
    EditingJob = false;
    WarningShown = false;
    openedBackupType_ = btSync;
    First();
    ResetResult();
}

std::optional<TWizardMessage> TFilesWizard::ChooseBackupType(TBackupType type) {
    BackupType = type;
    if (!EditingJob || WarningShown || type == openedBackupType_)
        return std::nullopt;
    WarningShown = true;
    return Warning(
        Translate(QStringLiteral("Changing the backup type will cause the deletion of all backup files.")));
}

void TFilesWizard::JobToControls(const TJob_FilesAndFolders& job) {
    Sources = job.Settings.Sources.List;
    FilterType = job.Settings.Sources.FilterType;
    Extensions = job.Settings.Sources.Extensions;
    Destination = TDestinationFields{};
    Destination.NetworkPath = QStringLiteral("\\");
    Destination.Network = job.DestinationType == dtNetwork;
    if (Destination.Network) {
        Destination.NetworkPath = job.DestinationPath;
        Destination.NetworkUser = job.Destination_NetworkUsername;
        Destination.NetworkPassword = TJobsCatalogue::TrimName(job.Destination_NetworkPassword);
    } else {
        Destination.LocalPath = job.DestinationPath;
    }
    BackupType = job.Settings.Backup.BackupType;
    openedBackupType_ = BackupType;
    FullBackupEveryCopies = job.Settings.Backup.PerformFullBackup_EveryCopies;
    FullCopiesToKeep = job.Settings.Backup.NumberFullCopiesToKeep;
    RemoveOldFirst = job.Settings.Backup.RemoveOldBackupsBeforeStartingNewBackup;
    Schedule = ScheduleToFields(job.SchedulingSettings);
    First();
    ResetResult();
}

void TFilesWizard::DropSources(const QStringList& missing) {
    for (const QString& entry : missing)
        Sources.removeAll(entry);
}

QString TFilesWizard::ControlsToJob(TJob_FilesAndFolders& job) const {
    TNewFilesJobSettings settings;
    for (const QString& entry : Sources)
        settings.Sources.append(EntryPath(entry));
    settings.BackupType = BackupType;
    settings.FullBackupEveryCopies = FullBackupEveryCopies;
    settings.FullCopiesToKeep = FullCopiesToKeep;
    settings.RemoveOldBackupsFirst = RemoveOldFirst;
    settings.FilterType = FilterType;
    settings.Extensions = Extensions;
    settings.Destination = Destination.Network ? Destination.NetworkPath : Destination.LocalPath;

    // Filled on a scratch job first, so a refused fill leaves the job as it was.
    TJob_FilesAndFolders scratch(job.stJobName);
    scratch.Settings.Backup = job.Settings.Backup;
    if (const TNewJobFill fill = FillNewJob(scratch, settings); fill.Problem != NewJobProblem::None) {
        const QString message = NewJobProblemMessage(fill);
        return message.isEmpty() ? fill.Detail : message;
    }
    job.Settings.Sources.List = scratch.Settings.Sources.List;
    // The extension text is kept whatever the filter choice, so switching the filter back restores it.
    job.Settings.Sources.FilterType = FilterType;
    job.Settings.Sources.Extensions = Extensions;
    job.Settings.Backup = scratch.Settings.Backup;
    job.NewSubfolderIsCreatedForEachBackup = scratch.NewSubfolderIsCreatedForEachBackup;
    if (Destination.Network) {
        job.DestinationType = dtNetwork;
        job.DestinationPath = Destination.NetworkPath;
        job.Destination_NetworkUsername = Destination.NetworkUser;
        job.Destination_NetworkPassword = Destination.NetworkPassword;
    } else {
        // A local destination keeps the stored credentials, for switching back.
        job.DestinationType = dtExternalDevice;
        job.DestinationPath = scratch.DestinationPath;
    }
    FieldsToSchedule(Schedule, job.SchedulingSettings);
    return QString();
}

QString TFilesWizard::FolderToCheck() const {
    return Page() == pgDestination && !Destination.Network ? Destination.LocalPath : QString();
}

std::optional<TWizardMessage> TFilesWizard::CheckPage(int page, std::optional<bool> folderExists) {
    switch (page) {
    case pgSources:
        return CheckSourcesPage(Sources, FilterType, Extensions);
    case pgDestination:
        return CheckFilesDestinationPage(Destination, folderExists);
    default:
        return std::nullopt;
    }
}

bool TFilesWizard::Next(IUserPrompt& prompt, const std::function<void(const QStringList&)>& showList,
                        std::optional<bool> folderExists) {
    if (!NextEnabled())
        return false;
    if (const std::optional<TWizardMessage> message = CheckPage(Page(), folderExists)) {
        ShowWizardMessage(prompt, *message);
        if (message->ShowList) {
            if (showList)
                showList(Sources);
            else
                prompt.ShowInformation(SourcesAsList(Sources).join(QStringLiteral("\n")));
        }
        if (message->Blocking)
            return false;
    }
    Forward();
    return true;
}

bool TFilesWizard::Save(IUserPrompt& prompt, TWizardResult result) {
    if (!SaveEnabled())
        return false;
    if (const std::optional<TWizardMessage> message = CheckSchedulePage(Schedule)) {
        ShowWizardMessage(prompt, *message);
        return false;
    }
    SetResult(result);
    return true;
}

QStringList TFilesWizard::SourcesAsList(const QStringList& sources) {
    QStringList lines;
    for (const QString& entry : sources)
        lines.append(entry.size() >= 3 && entry.endsWith(u'*') ? entry.left(entry.size() - 2) : entry);
    return lines;
}

QString TVolumeEntry::DisplayText() const {
    const QString size = QLocale().formattedDataSize(Size, 1, QLocale::DataSizeTraditionalFormat);
    return Label.isEmpty() ? QStringLiteral("%1 (%2)").arg(RootPath, size)
                           : QStringLiteral("%1 [%2] (%3)").arg(RootPath, Label, size);
}

QList<TVolumeEntry> MachineVolumes() {
    QList<TVolumeEntry> volumes;
    for (const TMountedVolume& volume : BlockDeviceVolumes())
        volumes.append({volume.MountPoint, volume.Label, volume.Size});
    return volumes;
}

void TImageWizard::ClearControls() {
    EditingJob = false;
    Schedule = TScheduleFields{};
    Destination = TDestinationFields{};
    DestinationDrive.clear();
    CheckedDrives.clear();
    KeepVersions = false;
    VersionsToKeep = QStringLiteral("3");
    First();
    ResetResult();
}

void TImageWizard::JobToControls(const TJob_DriveImage& job) {
    CheckedDrives = job.Settings.SourceDrivesList;
    CheckedDrives.sort();
    Destination = TDestinationFields{};
    DestinationDrive.clear();
    Destination.Network = job.DestinationType == dtNetwork;
    if (Destination.Network) {
        Destination.NetworkPath = job.DestinationPath;
        Destination.NetworkUser = job.Destination_NetworkUsername;
        Destination.NetworkPassword = job.Destination_NetworkPassword;
    } else {
        DestinationDrive = job.DestinationPath;
    }
    KeepVersions = job.Settings.AutocleanOldBackups;
    VersionsToKeep = job.Settings.NumberOfBackupVersionsToKeep;
    Schedule = ScheduleToFields(job.SchedulingSettings);
    First();
    ResetResult();
}

void TImageWizard::ControlsToJob(TJob_DriveImage& job) const {
    QStringList drives = CheckedDrives;
    drives.sort();
    job.Settings.SourceDrivesList = drives;
    job.Settings.AutocleanOldBackups = KeepVersions;
    job.Settings.NumberOfBackupVersionsToKeep = VersionsToKeep;
    if (Destination.Network) {
        job.DestinationType = dtNetwork;
        job.DestinationPath = Destination.NetworkPath;
        job.Destination_NetworkUsername = Destination.NetworkUser;
        job.Destination_NetworkPassword = Destination.NetworkPassword;
    } else {
        job.DestinationType = dtExternalDevice;
        job.DestinationPath = DestinationDrive;
    }
    job.NewSubfolderIsCreatedForEachBackup = true;
    FieldsToSchedule(Schedule, job.SchedulingSettings);
}

void TImageWizard::SetDriveChecked(const QString& root, bool checked) {
    CheckedDrives.removeAll(root);
    if (checked)
        CheckedDrives.append(root);
    CheckedDrives.sort();
}

std::optional<TWizardMessage> TImageWizard::CheckPage(int page) const {
    if (page == pgDisks && CheckedDrives.isEmpty())
        return Warning(Translate(QStringLiteral("Please add one or more sources to the list")));
    if (page == pgDestination) {
        if (!Destination.Network && DestinationDrive.isEmpty())
            return Warning(Translate(QStringLiteral("Please choose a disk")));
        if (Destination.Network && Destination.NetworkPath.size() < 2)
            return Warning(ChooseCorrectUncPath());
    }
    return std::nullopt;
}

bool TImageWizard::Next(IUserPrompt& prompt) {
    if (!NextEnabled())
        return false;
    if (const std::optional<TWizardMessage> message = CheckPage(Page())) {
        ShowWizardMessage(prompt, *message);
        return false;
    }
    Forward();
    return true;
}

bool TImageWizard::Save(IUserPrompt& prompt, TWizardResult result) {
    if (!SaveEnabled())
        return false;
    if (const std::optional<TWizardMessage> message = CheckSchedulePage(Schedule)) {
        ShowWizardMessage(prompt, *message);
        return false;
    }
    SetResult(result);
    return true;
}

} // namespace morvane
