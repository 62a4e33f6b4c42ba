#include "cli/cli_commands.h"

#include "core/job_json.h"
#include "core/job_texts.h"
#include "core/jobs_catalogue.h"
#include "i18n/catalogue_loader.h"
#include "i18n/translation.h"
#include "jobs/events_log.h"
#include "platform/program_state.h"
#include "platform/settings_store.h"
#include "platform/special_folders.h"
#include "platform/system_effects.h"

#include <QJsonDocument>
#include <QTextStream>

namespace morvane {

namespace {

const char* const UsageText = "Usage:\n"
                              "  morvane-cli list\n"
                              "  morvane-cli show NAME --json\n";

QTextStream& Out() {
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& Err() {
    static QTextStream stream(stderr);
    return stream;
}

int Usage(const QString& problem) {
    if (!problem.isEmpty())
        Err() << problem << '\n';
    Err() << UsageText;
    Err().flush();
    return ExitUsage;
}

// Reports what loading wrote to the events log (damaged job files and the like) on stderr.
void ReportEvents() {
    for (const QString& line : TakePendingEvents())
        Err() << line << '\n';
    Err().flush();
}

QString KindText(const TJob& job) {
    return job.JobKind() == TJob::Kind::FilesAndFolders ? Translate(QStringLiteral("Files and folders"))
                                                        : Translate(QStringLiteral("Drive image"));
}

int ListJobs(const TJobsCatalogue& catalogue) {
    for (int i = 0; i < catalogue.Count(); ++i) {
        const TJob& job = catalogue.At(i);
        Out() << job.stJobName << '\t' << KindText(job) << '\t' << job.DestinationPath << '\t'
              << LastResultText(job) << '\n';
    }
    Out().flush();
    return ExitOk;
}

int ShowJob(const TJobsCatalogue& catalogue, const QString& name) {
    int index = catalogue.IndexOfExactName(name);
    if (index < 0)
        index = catalogue.IndexOfName(name);
    if (index < 0) {
        Err() << FormatText(Translate(QStringLiteral("Job \"%s\" is not found.")), {name}) << '\n';
        Err().flush();
        return ExitUnknownJob;
    }
    Out() << QString::fromUtf8(QJsonDocument(JobToJson(catalogue.At(index))).toJson(QJsonDocument::Indented));
    Out().flush();
    return ExitOk;
}

} // namespace

int RunCli(const QStringList& arguments) {
    if (arguments.isEmpty())
        return Usage(QString());
    const QString& command = arguments.first();
    if (command == u"list" && arguments.size() != 1)
        return Usage(QStringLiteral("list takes no arguments."));
    if (command == u"show" && (arguments.size() != 3 || arguments[2] != u"--json"))
        return Usage(QStringLiteral("show takes a job name and --json."));
    if (command != u"list" && command != u"show")
        return Usage(QStringLiteral("Unknown command: ") + command);

    InitProgramPaths();
    LoadCatalogue(FindDataFile(QStringLiteral("transl.dt")), SettingsStore(), SystemUiLanguagePrimaryId());
    TJobsCatalogue catalogue(Program().ApplicationDirectory);
    catalogue.LoadJobsListAndJobs();
    ReportEvents();
    return command == u"list" ? ListJobs(catalogue) : ShowJob(catalogue, arguments[1]);
}

} // namespace morvane
