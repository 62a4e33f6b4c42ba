// The commands that change the job catalogue: new, import, duplicate, rename and remove.

#include "cli/cli_commands.h"
#include "cli/cli_support.h"
#include "core/job_commands.h"
#include "core/jobs_catalogue.h"
#include "formats/events_log.h"
#include "platform/program_state.h"

#include <cstdio>
#include <optional>

namespace morvane {

namespace {

// The message for a name the catalogue refuses; empty when the name may be used.
QString NameProblem(const TJobsCatalogue& catalogue, const QString& typed, QString* trimmed) {
    const TJobNameResult checked = CheckJobName(catalogue, typed);
    *trimmed = checked.Name;
    if (checked.Check == JobNameCheck::Empty)
        return QStringLiteral("The job name is empty.");
    return checked.Message;
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
    return ok && IsValidCopyCount(value) ? std::optional<int32_t>(value) : std::nullopt;
}

QString ReadPasswordFromStdin() {
    QTextStream in(stdin);
    return in.readLine();
}

// Reads the settings of a new job from the arguments; the usage problem, or empty.
QString ReadNewJobSettings(TNewFilesJobSettings& settings, const TCliArguments& arguments) {
    settings.Sources = arguments.Values(QStringLiteral("--source"));
    if (settings.Sources.isEmpty() || !arguments.Has(QStringLiteral("--dest")))
        return QStringLiteral("new needs at least one --source and a --dest.");
    const bool include = arguments.Has(QStringLiteral("--include"));
    const bool exclude = arguments.Has(QStringLiteral("--exclude"));
    if (include && exclude)
        return QStringLiteral("--include and --exclude exclude each other.");
    if (arguments.Has(QStringLiteral("--type"))) {
        settings.BackupType = BackupTypeOf(arguments.Value(QStringLiteral("--type")));
        if (!settings.BackupType)
            return QStringLiteral("--type is mirror, full or incremental.");
    }
    for (const auto& [option, field] :
         {std::pair{QStringLiteral("--full-every"), &settings.FullBackupEveryCopies},
          std::pair{QStringLiteral("--keep"), &settings.FullCopiesToKeep}}) {
        if (!arguments.Has(option))
            continue;
        *field = CountOf(arguments.Value(option));
        if (!*field)
            return option + QStringLiteral(" takes a number of 0 or more.");
    }
    settings.RemoveOldBackupsFirst = arguments.Has(QStringLiteral("--prune-before"));
    if (include || exclude) {
        settings.FilterType = include ? ftIncludeOnly : ftExclude;
        settings.Extensions =
            arguments.Value(include ? QStringLiteral("--include") : QStringLiteral("--exclude"));
    }
    settings.Destination = arguments.Value(QStringLiteral("--dest"));
    settings.NetworkUser = arguments.Value(QStringLiteral("--user"));
    return QString();
}

} // namespace

int NewJob(TJobsCatalogue& catalogue, const TCliArguments& arguments) {
    const QString typed = arguments.positional.first();
    QString name;
    if (const QString problem = NameProblem(catalogue, typed, &name); !problem.isEmpty())
        return Fail(problem, ExitFailure);
    TNewFilesJobSettings settings;
    if (const QString problem = ReadNewJobSettings(settings, arguments); !problem.isEmpty())
        return Usage(problem);
    if (arguments.Has(QStringLiteral("--password-stdin")))
        settings.NetworkPassword = ReadPasswordFromStdin();
    const TJobCommandResult result = CreateFilesJob(catalogue, name, typed, settings);
    switch (result.Outcome) {
    case JobCommandOutcome::Done:
        PrintEvents(Out());
        return ExitOk;
    case JobCommandOutcome::JobsListNotSaved:
        PrintEvents(Err());
        return ExitFailure;
    case JobCommandOutcome::Refused:
    case JobCommandOutcome::JobFileNotSaved:
    case JobCommandOutcome::Failed:
        break;
    }
    return Fail(result.Message, ExitFailure);
}

int ImportJob(TJobsCatalogue& catalogue, const TCliArguments& arguments) {
    const QString path = arguments.positional.first();
    const std::optional<QString> typed = JobNameOfStorageCopy(path);
    if (!typed)
        return Usage(QStringLiteral("import takes the path of a job's storage copy (.bmj)."));
    QString name;
    if (const QString problem = NameProblem(catalogue, *typed, &name); !problem.isEmpty())
        return Fail(problem, ExitFailure);

    // A copy on a share that needs a user name is read with the one given; the job's own are inside it.
    const QString user = arguments.Value(QStringLiteral("--user"));
    const QString password =
        arguments.Has(QStringLiteral("--password-stdin")) ? ReadPasswordFromStdin() : QString();
    const TJobCommandResult result = ImportStorageCopy(catalogue, path, name, user, password);
    if (result.Outcome == JobCommandOutcome::Failed) {
        for (const QString& line : result.Log)
            Err() << line << '\n';
        PrintEvents(Err());
        return Fail(result.Message, ExitFailure);
    }
    if (result.Outcome == JobCommandOutcome::JobFileNotSaved) {
        PrintEvents(Err());
        return Fail(result.Message, ExitFailure);
    }
    const bool saved = result.Outcome == JobCommandOutcome::Done;
    PrintEvents(saved ? Out() : Err());
    return saved ? ExitOk : ExitFailure;
}

int RemoveJob(TJobsCatalogue& catalogue, const TCliArguments& arguments) {
    TJob* job = FindJob(catalogue, arguments.positional.first());
    if (!job)
        return ExitUnknownJob;
    // A drive-image job's images go through the imaging tool, which needs this program's rights to be
    // enough: the command line never restarts itself elevated.
    const TJobCommandResult result =
        RemoveJobFromCatalogue(catalogue, *job, arguments.Has(QStringLiteral("--with-backups")));
    PrintEvents(Out());
    if (result.Outcome == JobCommandOutcome::Failed)
        return Fail(result.Message, ExitFailure);
    return ExitOk;
}

int DuplicateJobCommand(TJobsCatalogue& catalogue, const TCliArguments& arguments) {
    const TJob* source = FindJob(catalogue, arguments.positional.first());
    if (!source)
        return ExitUnknownJob;
    const QString typed = arguments.positional.size() > 1 ? arguments.positional.at(1)
                                                          : NextDuplicateName(catalogue, source->stJobName);
    QString name;
    if (const QString problem = NameProblem(catalogue, typed, &name); !problem.isEmpty())
        return Fail(problem, ExitFailure);
    const TJobCommandResult result = DuplicateJob(catalogue, *source, name, typed);
    if (result.Outcome == JobCommandOutcome::JobFileNotSaved)
        return Fail(result.Message, ExitFailure);
    const bool saved = result.Outcome == JobCommandOutcome::Done;
    PrintEvents(saved ? Out() : Err());
    return saved ? ExitOk : ExitFailure;
}

int RenameJobCommand(TJobsCatalogue& catalogue, const TCliArguments& arguments) {
    TJob* job = FindJob(catalogue, arguments.positional.first());
    if (!job)
        return ExitUnknownJob;
    const TRenameCheck check = CheckRename(catalogue, *job, arguments.positional.at(1));
    if (!check.Message.isEmpty())
        return Fail(check.Message, ExitFailure);
    if (!check.Proceed) {
        if (check.Name.isEmpty())
            return Usage(QStringLiteral("The new job name is empty."));
        Out() << "The job is named " << check.Name << " already.\n";
        return ExitOk;
    }
    job->OptionsToJobOptions();
    const TRenameSteps steps = ChangeName(*job, check.Name, Program().ApplicationDirectory);
    const TJobCommandResult result = FinishRename(catalogue, *job, check.Name, steps);
    const bool done = result.Outcome == JobCommandOutcome::Done;
    for (const QString& line : result.Log)
        (done ? Out() : Err()) << line << '\n';
    PrintEvents(done ? Out() : Err());
    if (result.Outcome == JobCommandOutcome::Failed)
        return Fail(result.Message, ExitFailure);
    return done ? ExitOk : ExitFailure;
}

} // namespace morvane
