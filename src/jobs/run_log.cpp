#include "jobs/run_log.h"

#include "formats/events_log.h"
#include "formats/text_file.h"
#include "i18n/translation.h"
#include "jobs/job.h"
#include "jobs/job_file.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/program_state.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <thread>

namespace morvane {

namespace {

const QString LogFileExtension = QStringLiteral(".txt");

QString TimePrefix() {
    return LongTimeText(CurrentDateTime().time()) + QStringLiteral(": ");
}

void AddMarkedLine(TJob& job, const QString& englishMark, const QString& text) {
    job.LastJobResult.Log.append(TimePrefix() + job.TranslateText(englishMark) + u' ' + text);
}

} // namespace

void AddToRunLog(TJob& job, const QString& englishText, const QString& path) {
    QString line = TimePrefix() + job.TranslateText(englishText);
    if (!path.isEmpty())
        line += u' ' + path;
    job.LastJobResult.Log.append(line);
}

void AddTranslatedToRunLog(TJob& job, const QString& text) {
    job.LastJobResult.Log.append(TimePrefix() + text);
}

void AddErrorToRunLog(TJob& job, const QString& text) {
    AddMarkedLine(job, TR_NOOP("ERROR:"), text);
    job.LastJobResult.ErrorsCount.fetch_add(1);
}

void AddWarningToRunLog(TJob& job, const QString& text) {
    AddMarkedLine(job, TR_NOOP("WARNING:"), text);
    job.LastJobResult.WarningsCount.fetch_add(1);
}

QString LogFileStamp(TDateTime runStart) {
    return FromDateTimeValue(runStart).toString(QStringLiteral("yyyy-MM-dd HH;mm;ss"));
}

QString ShownLogStamp(const QString& stamp) {
    return QString(stamp).replace(u';', u':');
}

TDateTime UniqueRunStart(const TJob& job, TDateTime start, const std::function<bool(const QString&)>& taken) {
    QDateTime moment = FromDateTimeValue(start);
    bool waited = false;
    while (true) {
        const QString stamp = LogFileStamp(ToDateTimeValue(moment));
        if (!job.LogList.contains(stamp) && !FileExists(RunLogFilePath(job, stamp)) &&
            !(taken && taken(stamp)))
            return ToDateTimeValue(moment);
        const QDateTime now = FromDateTimeValue(Now());
        if (!waited && moment.secsTo(now) <= 0) {
            // A run in the same second as the last one waits for the next second, so its name still
            // tells when it ran.
            std::this_thread::sleep_for(std::chrono::milliseconds(1000 - now.time().msec()));
            moment = FromDateTimeValue(Now());
            waited = true;
            continue;
        }
        // Still taken after that: the clock was set back past earlier runs. The next free second keeps
        // the names apart.
        moment = moment.addSecs(1);
    }
}

QString JobLogFolder(const TJob& job) {
    return JoinPath(job.JobOptions.Logging.PathForLogFiles, job.stJobName);
}

QString RunLogFilePath(const TJob& job, const QString& stamp) {
    return JoinPath(JobLogFolder(job), stamp + LogFileExtension);
}

bool PrepareLogFolder(TJob& job, bool restoreRun) {
    const QString folder = JobLogFolder(job);
    if (DirectoryExists(folder) || QDir().mkpath(folder))
        return true;
    const QString text = restoreRun ? TR_NOOP("Unable to create folder for log files:")
                                    : TR_NOOP("Unable to create a folder for the log files:");
    AddToEventsLog(job.TranslateText(text) + u' ' + folder);
    return false;
}

void SaveRunLog(TJob& job, TDateTime runStart) {
    const QString stamp = LogFileStamp(runStart);
    if (DirectoryExists(JobLogFolder(job))) {
        WriteTextFileLines(RunLogFilePath(job, stamp), job.LastJobResult.Log);
        job.LogList.append(stamp);
        job.RemoveOldLogs();
    }
    job.LastJobResult.EndTime = Now();
    if (!Program().ClosingRequested)
        SaveLocalJobFile(job, LocalJobFilePath(Program().ApplicationDirectory, job.stJobName));
    job.JobStatus = jsNone;
}

QString HistoryExportPath(const TOptions& options, const QString& jobName) {
    return JoinPath(options.Logging.PathForLogFiles,
                    QStringLiteral("history - ") + jobName + LogFileExtension);
}

bool ExportHistory(const TJob& job, const TOptions& options) {
    const QString path = HistoryExportPath(options, job.stJobName);
    QDir().mkpath(QFileInfo(path).path());
    return WriteTextFileLines(path, job.BackupHistory);
}

// --- Records kept in the job -------------------------------------------------------------------------

void TJob::AddEventtoBackupHistory(const QString& strEvent, bool AppendToLastString) {
    if (AppendToLastString && !BackupHistory.isEmpty())
        BackupHistory.last() += u' ' + strEvent;
    else
        BackupHistory.append(DateTimeText(CurrentDateTime()) + QStringLiteral(": ") + strEvent);
    const qsizetype limit = std::max(0, JobOptions.Logging.MaxNumberOfLinesInHistory);
    while (BackupHistory.size() > limit)
        BackupHistory.removeFirst();
}

void TJob::RemoveOldLogs() {
    for (qsizetype i = LogList.size() - 1; i >= 0; --i)
        if (!FileExists(RunLogFilePath(*this, LogList[i])))
            LogList.removeAt(i);
    const qsizetype limit = std::max(0, JobOptions.Logging.MaxNumberOfLogsForEachJob);
    while (LogList.size() > limit) {
        QFile oldest(RunLogFilePath(*this, LogList.first()));
        if (!oldest.remove()) {
            AddErrorToRunLog(*this, TranslateText(QStringLiteral("Unable to remove the old log files.")) +
                                        u' ' + oldest.errorString());
            return;
        }
        LogList.removeFirst();
    }
}

void TJob::DeleteTempFiles() {
    const QString temp = JobOptions.General.PathForTempFiles;
    if (temp.isEmpty()) // no options copy yet: there is nothing of this job's to remove
        return;
    ForceDeleteTree(JoinPath(temp, stJobName));
    ForceDeleteTree(CopyAheadFolder());
    const QString storageCopy = JoinPath(temp, stJobName + QStringLiteral(".bmj"));
    if (FileExists(storageCopy))
        QFile::remove(storageCopy);
}

QString TJob::CopyAheadFolder() const {
    return JoinPath(JobOptions.General.PathForTempFiles, stJobName + QStringLiteral(":ahead"));
}

} // namespace morvane
