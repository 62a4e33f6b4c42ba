// The commands that change the job catalogue: new, import and remove.

#include "cli/cli_commands.h"
#include "cli/cli_support.h"
#include "core/job_import.h"
#include "core/jobs_catalogue.h"
#include "core/source_rules.h"
#include "formats/events_log.h"
#include "formats/file_image.h"
#include "i18n/translation.h"
#include "jobs/job_file.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "storage/storage_fs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace morvane {

namespace {

// The message for a name the catalogue refuses; empty when the name may be used.
QString NameProblem(const TJobsCatalogue& catalogue, const QString& typed, QString* trimmed) {
    switch (catalogue.CheckNewName(typed, trimmed)) {
    case JobNameCheck::Ok:
        return QString();
    case JobNameCheck::Empty:
        return QStringLiteral("The job name is empty.");
    case JobNameCheck::ForbiddenSymbols:
        return Translate(QStringLiteral("The following symbols are not allowed in the title:")) +
               QStringLiteral("\r\n\r\n") + TJobsCatalogue::ForbiddenNameSymbols;
    case JobNameCheck::Taken:
        return FormatText(
            Translate(QStringLiteral("Job \"%s\" already exists. Please specify another name.")), {typed});
    }
    return QString();
}

std::optional<TBackupType> BackupTypeOf(const QString& text) {
    if (text == u"mirror")
        return btSync;
    if (text == u"full")
        return btFull;
    if (text == u"incremental")
        return btInc;
    return std::nullopt;
}

std::optional<int32_t> CountOf(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok && value >= 0 ? std::optional<int32_t>(value) : std::nullopt;
}

// The source entries: a folder as its absolute path + "/*", a file as its absolute path.
QString SourceEntries(const QStringList& paths, QStringList& entries) {
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists())
            return QStringLiteral("The source does not exist: ") + path;
        const QString absolute = QDir::cleanPath(info.absoluteFilePath());
        entries.append(info.isDir() ? JoinPath(absolute, QStringLiteral("*")) : absolute);
    }
    return QString();
}

QString ReadPasswordFromStdin() {
    QTextStream in(stdin);
    return in.readLine();
}

// Fills the new job from the arguments; the text of the first problem, or empty.
QString FillNewJob(TJob_FilesAndFolders& job, const TCliArguments& arguments, bool* usageProblem) {
    *usageProblem = true;
    const QStringList sources = arguments.Values(QStringLiteral("--source"));
    if (sources.isEmpty() || !arguments.Has(QStringLiteral("--dest")))
        return QStringLiteral("new needs at least one --source and a --dest.");
    if (arguments.Has(QStringLiteral("--include")) && arguments.Has(QStringLiteral("--exclude")))
        return QStringLiteral("--include and --exclude exclude each other.");
    if (arguments.Has(QStringLiteral("--type"))) {
        const auto type = BackupTypeOf(arguments.Value(QStringLiteral("--type")));
        if (!type)
            return QStringLiteral("--type is mirror, full or incremental.");
        job.Settings.Backup.BackupType = *type;
    }
    for (const auto& [option, field] :
         {std::pair{QStringLiteral("--full-every"), &job.Settings.Backup.PerformFullBackup_EveryCopies},
          std::pair{QStringLiteral("--keep"), &job.Settings.Backup.NumberFullCopiesToKeep}}) {
        if (!arguments.Has(option))
            continue;
        const auto count = CountOf(arguments.Value(option));
        if (!count)
            return option + QStringLiteral(" takes a number of 0 or more.");
        *field = *count;
    }
    job.Settings.Backup.RemoveOldBackupsBeforeStartingNewBackup =
        arguments.Has(QStringLiteral("--prune-before"));
    job.NewSubfolderIsCreatedForEachBackup = job.Settings.Backup.BackupType != btSync;

    *usageProblem = false;
    if (const QString problem = SourceEntries(sources, job.Settings.Sources.List); !problem.isEmpty())
        return problem;
    if (const QString pair = GetDuplicatedNamesOfFoldersOrFiles(job.Settings.Sources.List); !pair.isEmpty())
        return DuplicatedNamesMessage(pair);
    const bool include = arguments.Has(QStringLiteral("--include"));
    if (include || arguments.Has(QStringLiteral("--exclude"))) {
        const QString text = NormalizeExtensionsText(
            arguments.Value(include ? QStringLiteral("--include") : QStringLiteral("--exclude")));
        if (const ExtensionsCheck check = CheckExtensionsText(text); check != ExtensionsCheck::Ok)
            return ExtensionsCheckMessage(check);
        job.Settings.Sources.FilterType = include ? ftIncludeOnly : ftExclude;
        job.Settings.Sources.Extensions = text;
    }
    const QString dest = arguments.Value(QStringLiteral("--dest"));
    job.DestinationType = IsNetworkPath(dest) ? dtNetwork : dtExternalDevice;
    job.DestinationPath =
        job.DestinationType == dtNetwork ? dest : QDir::cleanPath(QFileInfo(dest).absoluteFilePath());
    job.Destination_NetworkUsername = arguments.Value(QStringLiteral("--user"));
    if (arguments.Has(QStringLiteral("--password-stdin")))
        job.Destination_NetworkPassword = ReadPasswordFromStdin();
    return QString();
}

// Saves the catalogue after a change; an events line when the list could not be written.
bool SaveCatalogue(const TJobsCatalogue& catalogue) {
    if (catalogue.SaveJobsList())
        return true;
    AddToEventsLog(Translate(QStringLiteral("Error: unable to save the jobs list:")) +
                   catalogue.JobsListFile());
    return false;
}

} // namespace

int NewJob(TJobsCatalogue& catalogue, const TCliArguments& arguments) {
    const QString typed = arguments.positional.first();
    QString name;
    if (const QString problem = NameProblem(catalogue, typed, &name); !problem.isEmpty())
        return Fail(problem, ExitFailure);
    auto job = std::make_unique<TJob_FilesAndFolders>(name);
    bool usageProblem = false;
    if (const QString problem = FillNewJob(*job, arguments, &usageProblem); !problem.isEmpty())
        return usageProblem ? Usage(problem) : Fail(problem, ExitFailure);
    if (!job->SaveLocalJobFile(catalogue.JobFilePath(name)))
        return Fail(QStringLiteral("Unable to save the job file: ") + catalogue.JobFilePath(name),
                    ExitFailure);
    catalogue.Append(std::move(job));
    const bool saved = SaveCatalogue(catalogue);
    AddToEventsLog(FormatText(Translate(QStringLiteral("Created new job: \"%s\".")), {typed}));
    PrintEvents(saved ? Out() : Err());
    return saved ? ExitOk : ExitFailure;
}

int ImportJob(TJobsCatalogue& catalogue, const TCliArguments& arguments) {
    const QString path = arguments.positional.first();
    const QString fileName = ExtractFileName(path);
    if (!path.contains(QStringLiteral(".bmj")) || fileName.size() <= 4)
        return Usage(QStringLiteral("import takes the path of a job's storage copy (.bmj)."));
    const QString typed = fileName.chopped(4);
    QString name;
    if (const QString problem = NameProblem(catalogue, typed, &name); !problem.isEmpty())
        return Fail(problem, ExitFailure);

    // A copy on a share that needs a user name is read with the one given; the job's own are inside it.
    const QString user = arguments.Value(QStringLiteral("--user"));
    const QString password =
        arguments.Has(QStringLiteral("--password-stdin")) ? ReadPasswordFromStdin() : QString();
    TImportedJob imported = ImportJobFromStorage(path, name, user, password);
    if (!imported.Job) {
        for (const QString& line : imported.Log)
            Err() << line << '\n';
        PrintEvents(Err());
        return Fail(imported.Failure, ExitFailure);
    }
    AddToEventsLog(FormatText(Translate(QStringLiteral("Job is open: \"%s\".")), {name}));
    TJob& added = catalogue.Append(std::move(imported.Job));
    SaveLocalJobFile(added, catalogue.JobFilePath(name));
    const bool saved = SaveCatalogue(catalogue);
    PrintEvents(saved ? Out() : Err());
    return saved ? ExitOk : ExitFailure;
}

int RemoveJob(TJobsCatalogue& catalogue, const TCliArguments& arguments) {
    TJob* job = FindJob(catalogue, arguments.positional.first());
    if (!job)
        return ExitUnknownJob;
    bool folderRemoved = true;
    if (arguments.Has(QStringLiteral("--with-backups"))) {
        // A drive-image job's images go through the imaging tool, which needs this program's rights
        // to be enough: the command line never restarts itself elevated.
        auto* files = dynamic_cast<TJob_FilesAndFolders*>(job);
        folderRemoved = files ? files->Remove() : static_cast<TJob_DriveImage*>(job)->Remove();
        if (folderRemoved)
            AddToEventsLog(Translate(
                QStringLiteral("The backup folder has been removed successfully on the storage device.")));
    }
    const QString name = job->stJobName;
    const QString jobFile = catalogue.JobFilePath(name);
    if (FileExists(jobFile) && !QFile::remove(jobFile))
        AddToEventsLog(Translate(QStringLiteral("Error: unable to remove the file:")) + jobFile);
    catalogue.Take(catalogue.IndexOfExactName(name));
    if (SaveCatalogue(catalogue))
        AddToEventsLog(Translate(QStringLiteral("Job is removed.")));
    PrintEvents(Out());
    if (!folderRemoved)
        return Fail(Translate(QStringLiteral("Unable to remove the backup folder.")) +
                        QStringLiteral("\r\n\r\n") +
                        Translate(QStringLiteral(
                            "Make sure the storage device is connected. Then remove it manually")),
                    ExitFailure);
    return ExitOk;
}

} // namespace morvane
