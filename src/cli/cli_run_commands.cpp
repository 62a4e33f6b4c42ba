// The commands that run a job or read what its runs left: backup, points, restore, log and history.

#include "cli/cli_commands.h"
#include "cli/cli_support.h"
#include "core/jobs_catalogue.h"
#include "engine/restore_run.h"
#include "formats/text_file.h"
#include "i18n/translation.h"
#include "jobs/run_log.h"
#include "platform/file_system.h"
#include "scheduler/job_starter.h"

#include <QFile>

namespace morvane {

namespace {

// A files-and-folders job of that name for the restore commands, or nullptr after saying why not;
// `status` is the exit status.
TJob_FilesAndFolders* FindFilesJob(const TJobsCatalogue& catalogue, const QString& name, int* status) {
    TJob* job = FindJob(catalogue, name);
    if (!job) {
        *status = ExitUnknownJob;
        return nullptr;
    }
    auto* files = dynamic_cast<TJob_FilesAndFolders*>(job);
    if (!files)
        *status =
            Fail(QStringLiteral("\"") + job->stJobName +
                     QStringLiteral("\" is a drive-image job: its images are restored from the system's "
                                    "recovery environment, not by morvane-cli."),
                 ExitCancelled);
    return files;
}

void PrintLog(const TJob& job, QTextStream& stream) {
    for (const QString& line : job.LastJobResult.Log)
        stream << line << '\n';
    stream.flush();
}

// Answers the restore's questions from the command line.
class TCliRestoreDialogs final : public TRestoreDialogs {
public:
    TCliRestoreDialogs(QString output, std::optional<int> point, bool latest)
        : output_(std::move(output)), point_(point), latest_(latest) {}

    std::optional<QString> ChooseOutputDirectory(const QString&) override {
        if (DirectoryExists(output_))
            return output_;
        Fail(QStringLiteral("The output folder does not exist: ") + output_, ExitCancelled);
        return std::nullopt;
    }
    void ShowRestorePointsLoading() override {}
    void CloseRestorePoints() override {}
    std::optional<int> ChooseRestorePoint(const QStringList& shownNames) override {
        if (latest_ && !shownNames.isEmpty())
            return static_cast<int>(shownNames.size()) - 1;
        if (point_ && *point_ >= 1 && *point_ <= shownNames.size())
            return *point_ - 1;
        if (shownNames.isEmpty())
            Err() << "The job has no restore points.\n";
        else
            Err() << "Choose a restore point with --point N (1 to " << shownNames.size()
                  << ") or --latest.\n";
        Err().flush();
        return std::nullopt;
    }
    void ShowErrorMessage(const QString& text) override { Fail(text, ExitCancelled); }
    QString AskPassword(const QString&, const QString&) override { return QString(); }

private:
    QString output_;
    std::optional<int> point_;
    bool latest_;
};

} // namespace

int BackupJob(TJobsCatalogue& catalogue, const TCliArguments& arguments) {
    TJob* job = FindJob(catalogue, arguments.positional.first());
    if (!job)
        return ExitUnknownJob;
    TJobStarter().StartBackup(*job);
    // The imaging tool reports its own progress; file counters belong to files-and-folders runs.
    return WaitForRun(*job, job->JobKind() == TJob::Kind::FilesAndFolders);
}

int ListRestorePoints(TJobsCatalogue& catalogue, const TCliArguments& arguments) {
    int status = ExitOk;
    TJob_FilesAndFolders* job = FindFilesJob(catalogue, arguments.positional.first(), &status);
    if (!job)
        return status;
    job->OptionsToJobOptions();
    TRestorePoints points;
    const QString failure = ReadRestorePoints(*job, points);
    if (!failure.isEmpty()) {
        PrintLog(*job, Err());
        return Fail(failure, ExitFailure);
    }
    if (job->Settings.Backup.BackupType == btSync) {
        Out() << "mirror\n";
        Out().flush();
        return points.UnfinishedMirror
                   ? Fail(QStringLiteral("The last mirror run did not finish."), ExitFailure)
                   : ExitOk;
    }
    for (qsizetype i = 0; i < points.Names.size(); ++i)
        Out() << (i + 1) << '\t' << ShownRestorePointName(points.Names[i]) << '\n';
    Out().flush();
    return ExitOk;
}

int RestoreJob(TJobsCatalogue& catalogue, const TCliArguments& arguments) {
    if (!arguments.Has(QStringLiteral("--to")))
        return Usage(QStringLiteral("restore needs --to DIR."));
    if (arguments.Has(QStringLiteral("--point")) && arguments.Has(QStringLiteral("--latest")))
        return Usage(QStringLiteral("--point and --latest exclude each other."));
    std::optional<int> point;
    if (arguments.Has(QStringLiteral("--point"))) {
        bool ok = false;
        point = arguments.Value(QStringLiteral("--point")).toInt(&ok);
        if (!ok || *point < 1)
            return Usage(QStringLiteral("--point takes the number that points shows."));
    }
    int status = ExitOk;
    TJob_FilesAndFolders* job = FindFilesJob(catalogue, arguments.positional.first(), &status);
    if (!job)
        return status;
    TCliRestoreDialogs dialogs(arguments.Value(QStringLiteral("--to")), point,
                               arguments.Has(QStringLiteral("--latest")));
    job->Restore(dialogs);
    if (job->JobStatus == jsNone && job->JobOperation != joRestore) {
        // The restore ended before its run: the reason is on stderr already, the log says more.
        PrintLog(*job, Err());
        PrintEvents(Err());
        return ExitCancelled;
    }
    return WaitForRun(*job, false);
}

int PrintRunLog(TJobsCatalogue& catalogue, const TCliArguments& arguments) {
    TJob* job = FindJob(catalogue, arguments.positional.first());
    if (!job)
        return ExitUnknownJob;
    job->OptionsToJobOptions();
    if (job->LogList.isEmpty())
        return Fail(QStringLiteral("The job has no run logs."), ExitFailure);
    QString stamp = job->LogList.last();
    if (arguments.positional.size() > 1) {
        stamp = QString(arguments.positional[1]).replace(u':', u';');
        if (!job->LogList.contains(stamp))
            return Fail(QStringLiteral("No run log of the job has the stamp ") + arguments.positional[1] +
                            QStringLiteral("."),
                        ExitFailure);
    }
    QFile file(RunLogFilePath(*job, stamp));
    if (!file.open(QIODevice::ReadOnly))
        return Fail(QStringLiteral("Unable to read the run log: ") + file.fileName(), ExitFailure);
    for (const QString& line : SplitTextLines(file.readAll()))
        Out() << line << '\n';
    Out().flush();
    return ExitOk;
}

int PrintHistory(TJobsCatalogue& catalogue, const TCliArguments& arguments) {
    const TJob* job = FindJob(catalogue, arguments.positional.first());
    if (!job)
        return ExitUnknownJob;
    for (const QString& line : job->BackupHistory)
        Out() << line << '\n';
    Out().flush();
    return ExitOk;
}

} // namespace morvane
