#include "cli/cli_commands.h"

#include "cli/cli_forward.h"
#include "cli/cli_support.h"
#include "core/job_json.h"
#include "core/job_texts.h"
#include "core/jobs_catalogue.h"
#include "core/program_setup.h"
#include "formats/events_log.h"
#include "i18n/catalogue_loader.h"
#include "i18n/translation.h"
#include "options/options.h"
#include "options/options_file.h"
#include "platform/instance_lock.h"
#include "platform/program_state.h"
#include "platform/settings_store.h"
#include "platform/special_folders.h"
#include "platform/system_effects.h"

#include <QDir>
#include <QJsonDocument>

#include <functional>
#include <map>
#include <optional>

namespace morvane {

namespace {

struct TCommand {
    QSet<QString> valueOptions;
    QSet<QString> flags;
    int minPositional;
    int maxPositional;
    std::function<int(TJobsCatalogue&, const TCliArguments&)> run;
};

QString KindText(const TJob& job) {
    return job.JobKind() == TJob::Kind::FilesAndFolders ? Translate(QStringLiteral("Files and folders"))
                                                        : Translate(QStringLiteral("Drive image"));
}

int ListJobs(TJobsCatalogue& catalogue, const TCliArguments&) {
    for (int i = 0; i < catalogue.Count(); ++i) {
        const TJob& job = catalogue.At(i);
        Out() << job.stJobName << '\t' << KindText(job) << '\t' << job.DestinationPath << '\t'
              << LastResultText(job) << '\n';
    }
    Out().flush();
    return ExitOk;
}

int ShowJob(TJobsCatalogue& catalogue, const TCliArguments& arguments) {
    if (!arguments.Has(QStringLiteral("--json")))
        return Usage(QStringLiteral("show takes a job name and --json."));
    const TJob* job = FindJob(catalogue, arguments.positional.first());
    if (!job)
        return ExitUnknownJob;
    Out() << QString::fromUtf8(QJsonDocument(JobToJson(*job)).toJson(QJsonDocument::Indented));
    Out().flush();
    return ExitOk;
}

const std::map<QString, TCommand>& Commands() {
    static const std::map<QString, TCommand> commands = {
        {QStringLiteral("list"), {{}, {}, 0, 0, ListJobs}},
        {QStringLiteral("show"), {{}, {QStringLiteral("--json")}, 1, 1, ShowJob}},
        {QStringLiteral("new"),
         {{QStringLiteral("--source"), QStringLiteral("--dest"), QStringLiteral("--type"),
           QStringLiteral("--full-every"), QStringLiteral("--keep"), QStringLiteral("--include"),
           QStringLiteral("--exclude"), QStringLiteral("--user")},
          {QStringLiteral("--prune-before"), QStringLiteral("--password-stdin")},
          1,
          1,
          NewJob}},
        {QStringLiteral("backup"), {{}, {}, 1, 1, BackupJob}},
        {QStringLiteral("points"), {{}, {}, 1, 1, ListRestorePoints}},
        {QStringLiteral("restore"),
         {{QStringLiteral("--to"), QStringLiteral("--point")},
          {QStringLiteral("--latest")},
          1,
          1,
          RestoreJob}},
        {QStringLiteral("log"), {{}, {}, 1, 2, PrintRunLog}},
        {QStringLiteral("history"), {{}, {}, 1, 1, PrintHistory}},
        {QStringLiteral("import"),
         {{QStringLiteral("--user")}, {QStringLiteral("--password-stdin")}, 1, 1, ImportJob}},
        {QStringLiteral("remove"), {{}, {QStringLiteral("--with-backups")}, 1, 1, RemoveJob}},
        {QStringLiteral("rename"), {{}, {}, 2, 2, RenameJobCommand}},
        {QStringLiteral("duplicate"), {{}, {}, 1, 2, DuplicateJobCommand}},
        {QStringLiteral("schedule"),
         {{QStringLiteral("--weekdays"), QStringLiteral("--month-days"), QStringLiteral("--at")},
          {QStringLiteral("--off"), QStringLiteral("--catch-up"), QStringLiteral("--shutdown")},
          1,
          1,
          ScheduleJob}},
        {QStringLiteral("run-scheduler"), {{}, {}, 0, 0, RunScheduler}},
    };
    return commands;
}

// Commands that change jobs or run them. Only one program of a user may own the jobs at a time, or
// two runs of one job could write the same backup chain and one program's save undo the other's.
bool ChangesJobs(const QString& name) {
    static const QSet<QString> names = {
        QStringLiteral("new"),    QStringLiteral("backup"),    QStringLiteral("restore"),
        QStringLiteral("import"), QStringLiteral("remove"),    QStringLiteral("schedule"),
        QStringLiteral("rename"), QStringLiteral("duplicate"), QStringLiteral("run-scheduler")};
    return names.contains(name);
}

QString LockRefusal(const TInstanceLock& lock) {
    if (!lock.Problem().isEmpty())
        return QStringLiteral("Unable to take the instance lock: ") + lock.Problem();
    const int64_t holder = TInstanceLock::HolderProcessId(InstanceLockPath());
    return QStringLiteral("Another Morvane Backup program of this user is running") +
           (holder > 0 ? QStringLiteral(" (process %1)").arg(holder) : QString()) +
           QStringLiteral(" and owns the jobs. Stop it first, or let it do this.");
}

QString PositionalProblem(const QString& name, const TCommand& command, qsizetype count) {
    if (count >= command.minPositional && count <= command.maxPositional)
        return QString();
    if (name == u"list")
        return QStringLiteral("list takes no arguments.");
    if (name == u"show")
        return QStringLiteral("show takes a job name and --json.");
    return name + QStringLiteral(": wrong number of arguments.");
}

// What the desktop program does at start, without its effects on the session: the language, the
// application directories, the options (defaults when there is no file), the log and temporary
// folders.
void PrepareProgram() {
    InitProgramPaths();
    LoadCatalogue(FindDataFile(QStringLiteral("transl.dt")), SettingsStore(), SystemUiLanguagePrimaryId());
    QString errorText;
    if (!PrepareApplicationDirectories(&errorText))
        Fail(errorText, ExitFailure);
    TOptions& options = GlobalOptions();
    options = DefaultOptions();
    LoadOptions(options);
    CopyCatalogueToOptions(options);
    QDir().mkpath(options.Logging.PathForLogFiles);
    QDir().mkpath(options.General.PathForTempFiles);
    TakePendingEvents(); // the directories' creation lines are the desktop program's events panel's
}

} // namespace

int RunCli(const QStringList& arguments) {
    if (arguments.isEmpty())
        return Usage(QString());
    if (arguments.first() == u"--help" || arguments.first() == u"-h")
        return Help();
    if (arguments.first() == u"--version") {
        Out() << QStringLiteral("morvane-cli %1\n").arg(QStringLiteral(MORVANE_VERSION));
        Out().flush();
        return ExitOk;
    }
    const auto found = Commands().find(arguments.first());
    if (found == Commands().end())
        return Usage(QStringLiteral("Unknown command: ") + arguments.first());
    const TCommand& command = found->second;
    const TCliArguments parsed(arguments.mid(1), command.valueOptions, command.flags);
    if (!parsed.problem.isEmpty())
        return Usage(parsed.problem);
    const QString problem = PositionalProblem(found->first, command, parsed.positional.size());
    if (!problem.isEmpty())
        return Usage(problem);

    PrepareProgram();
    std::optional<TInstanceLock> lock;
    if (ChangesJobs(found->first) && !DelegatedByLockHolder()) {
        lock.emplace(InstanceLockPath());
        if (!lock->Held()) {
            // The desktop program owns the jobs: it does the command itself.
            if (lock->Problem().isEmpty() && found->first != u"run-scheduler") {
                if (const std::optional<int> status = ForwardToDesktopProgram(arguments))
                    return *status;
            }
            const bool run = found->first == u"backup" || found->first == u"restore";
            return Fail(LockRefusal(*lock), run ? ExitCancelled : ExitFailure);
        }
    }
    TJobsCatalogue catalogue(Program().ApplicationDirectory);
    catalogue.LoadJobsListAndJobs();
    PrintEvents(Err());
    InstallInterruptHandlers();
    return command.run(catalogue, parsed);
}

} // namespace morvane
