#include "cli/cli_support.h"

#include "cli/cli_commands.h"
#include "core/job_commands.h"
#include "core/jobs_catalogue.h"
#include "core/run_progress.h"
#include "formats/events_log.h"
#include "i18n/translation.h"
#include "jobs/job.h"

#include <atomic>
#include <csignal>
#include <cstdio>

#include <unistd.h>

namespace morvane {

namespace {

const char* const UsageText =
    "Usage:\n"
    "  morvane-cli list\n"
    "  morvane-cli show NAME --json\n"
    "  morvane-cli new NAME --source PATH [--source PATH ...] --dest PATH\n"
    "              [--type mirror|full|incremental] [--full-every N] [--keep N] [--prune-before]\n"
    "              [--include EXTS | --exclude EXTS] [--user NAME --password-stdin]\n"
    "  morvane-cli backup NAME\n"
    "  morvane-cli points NAME\n"
    "  morvane-cli restore NAME --to DIR [--point N | --latest]\n"
    "  morvane-cli log NAME [STAMP]\n"
    "  morvane-cli history NAME\n"
    "  morvane-cli import FILE.bmj [--user NAME --password-stdin]\n"
    "  morvane-cli remove NAME [--with-backups]\n"
    "  morvane-cli rename NAME NEW-NAME\n"
    "  morvane-cli duplicate NAME [NEW-NAME]\n"
    "  morvane-cli schedule NAME (--weekdays mon,...|all | --month-days 1,...,31) --at HH:MM[:SS]\n"
    "              [--at HH:MM[:SS] ...] [--catch-up] [--shutdown]\n"
    "  morvane-cli schedule NAME --off\n"
    "  morvane-cli run-scheduler\n"
    "  morvane-cli --help | -h\n"
    "  morvane-cli --version\n";

std::atomic<bool> interruptRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnInterruptSignal(int) {
    interruptRequested.store(true);
}

QString PlainLineBreaks(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

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

int Help() {
    Out() << UsageText;
    Out().flush();
    return ExitOk;
}

int Fail(const QString& message, int status) {
    Err() << PlainLineBreaks(message) << '\n';
    Err().flush();
    return status;
}

TCliArguments::TCliArguments(const QStringList& arguments, const QSet<QString>& valueOptions,
                             const QSet<QString>& flags) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& word = arguments[i];
        if (!word.startsWith(QStringLiteral("--"))) {
            positional.append(word);
        } else if (flags.contains(word)) {
            options_.append({word, QString()});
        } else if (!valueOptions.contains(word)) {
            problem = QStringLiteral("Unknown option: ") + word;
            return;
        } else if (i + 1 == arguments.size()) {
            problem = word + QStringLiteral(" needs a value.");
            return;
        } else {
            options_.append({word, arguments[++i]});
        }
    }
}

bool TCliArguments::Has(const QString& option) const {
    for (const auto& [name, value] : options_)
        if (name == option)
            return true;
    return false;
}

QString TCliArguments::Value(const QString& option) const {
    const QStringList values = Values(option);
    return values.isEmpty() ? QString() : values.last();
}

QStringList TCliArguments::Values(const QString& option) const {
    QStringList values;
    for (const auto& [name, value] : options_)
        if (name == option)
            values.append(value);
    return values;
}

void PrintEvents(QTextStream& stream) {
    for (const QString& line : TakePendingEvents())
        stream << PlainLineBreaks(line) << '\n';
    stream.flush();
}

TJob* FindJob(const TJobsCatalogue& catalogue, const QString& name) {
    if (TJob* job = FindJobByName(catalogue, name))
        return job;
    Fail(JobNotFoundMessage(name), ExitUnknownJob);
    return nullptr;
}

void InstallInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = OnInterruptSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested() {
    return interruptRequested.load();
}

int WaitForRun(TJob& job, bool showCounters) {
    const bool terminal = isatty(fileno(stdout)) != 0;
    QString shown;
    TDateTime waitShown = 0;
    TRunWatch watch;
    watch.CancelRequested = InterruptRequested;
    watch.Progress = [&](const TJob& running) {
        const QString progress = ProgressText(running, showCounters);
        // Plain output gets a line per file seen and one per wait before a retry; a terminal gets one
        // line rewritten in place, which counts a wait down.
        const TDateTime wait = running.RetryDeadline;
        const bool newWait = wait > 0 && wait != waitShown;
        const bool changed = terminal ? progress != shown : (wait > 0 ? newWait : progress != shown);
        waitShown = wait;
        if (changed && (terminal || !running.CurrentFileOperationPath.Text().isEmpty())) {
            if (terminal)
                Out() << "\r\033[K" << progress.left(200);
            else
                Out() << progress << '\n';
            Out().flush();
        }
        shown = progress;
    };
    // Progress is shown every quarter second; the end of the run is seen at once.
    const RunOutcome outcome = WaitForRunEnd(job, watch);
    if (terminal && !shown.isEmpty())
        Out() << "\r\033[K";
    PrintEvents(Out());
    switch (outcome) {
    case RunOutcome::Cancelled:
        return ExitCancelled;
    case RunOutcome::FinishedWithErrors:
        return ExitFailure;
    case RunOutcome::Finished:
        break;
    }
    return ExitOk;
}

} // namespace morvane
