#include "core/job_json.h"

#include "jobs/job.h"

#include <QJsonArray>

namespace morvane {

namespace {

QJsonArray ToJson(const QStringList& list) {
    return QJsonArray::fromStringList(list);
}

template <std::size_t N> QJsonArray ToJson(const std::array<bool, N>& flags) {
    QJsonArray array;
    for (const bool flag : flags)
        array.append(flag);
    return array;
}

QJsonObject ResultToJson(const TJobResult& result) {
    return {
        {QStringLiteral("StartTime"), result.StartTime.load()},
        {QStringLiteral("EndTime"), result.EndTime.load()},
        {QStringLiteral("Cancelled"), result.Cancelled.load()},
        {QStringLiteral("ErrorsCount"), result.ErrorsCount.load()},
        {QStringLiteral("WarningsCount"), result.WarningsCount.load()},
    };
}

QJsonObject ScheduleToJson(const TSchedulingSettings& s) {
    return {
        {QStringLiteral("SchedulingType"), EnumName(s.SchedulingType)},
        {QStringLiteral("DaysOfWeek"), ToJson(s.DaysOfWeek)},
        {QStringLiteral("DaysOfMonth"), ToJson(s.DaysOfMonth)},
        {QStringLiteral("TimeTable"), ToJson(s.TimeTable)},
        {QStringLiteral("LastModificationDateTime"), s.LastModificationDateTime},
        {QStringLiteral("RunJobAsSoonAsPossibleAfterAScheduledStartIsMissed"),
         s.RunJobAsSoonAsPossibleAfterAScheduledStartIsMissed},
        {QStringLiteral("ShutdownPCInTheEnd"), s.ShutdownPCInTheEnd},
    };
}

QJsonObject SettingsToJson(const TJob_FilesAndFolders& job) {
    const auto& sources = job.Settings.Sources;
    const auto& backup = job.Settings.Backup;
    const QJsonObject sourcesJson{
        {QStringLiteral("List"), ToJson(sources.List)},
        {QStringLiteral("FilterType"), EnumName(sources.FilterType)},
        {QStringLiteral("Extensions"), sources.Extensions},
    };
    const QJsonObject backupJson{
        {QStringLiteral("BackupType"), EnumName(backup.BackupType)},
        {QStringLiteral("PerformFullBackup_EveryCopies"), backup.PerformFullBackup_EveryCopies},
        {QStringLiteral("NumberFullCopiesToKeep"), backup.NumberFullCopiesToKeep},
        {QStringLiteral("RemoveOldBackupsBeforeStartingNewBackup"),
         backup.RemoveOldBackupsBeforeStartingNewBackup},
    };
    return {{QStringLiteral("Sources"), sourcesJson}, {QStringLiteral("Backup"), backupJson}};
}

QJsonObject SettingsToJson(const TJob_DriveImage& job) {
    return {
        {QStringLiteral("SourceDrivesList"), ToJson(job.Settings.SourceDrivesList)},
        {QStringLiteral("AutocleanOldBackups"), job.Settings.AutocleanOldBackups},
        {QStringLiteral("NumberOfBackupVersionsToKeep"), job.Settings.NumberOfBackupVersionsToKeep},
    };
}

} // namespace

QJsonObject JobToJson(const TJob& job) {
    const auto* files = dynamic_cast<const TJob_FilesAndFolders*>(&job);
    const QJsonObject settings =
        files ? SettingsToJson(*files) : SettingsToJson(static_cast<const TJob_DriveImage&>(job));
    return {
        {QStringLiteral("stJobName"), job.stJobName},
        {QStringLiteral("JobKind"), static_cast<int>(job.JobKind())},
        {QStringLiteral("LastJobResult"), ResultToJson(job.LastJobResult)},
        {QStringLiteral("LogList"), ToJson(job.LogList)},
        {QStringLiteral("BackupHistory"), ToJson(job.BackupHistory)},
        {QStringLiteral("Settings"), settings},
        {QStringLiteral("DestinationType"), EnumName(job.DestinationType)},
        {QStringLiteral("DestinationPath"), job.DestinationPath},
        {QStringLiteral("Destination_NetworkUsername"), job.Destination_NetworkUsername},
        {QStringLiteral("Destination_NetworkPassword"),
         job.Destination_NetworkPassword.isEmpty() ? QString() : QStringLiteral("set")},
        {QStringLiteral("SchedulingSettings"), ScheduleToJson(job.SchedulingSettings)},
    };
}

} // namespace morvane
