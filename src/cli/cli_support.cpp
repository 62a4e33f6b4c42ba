#include "cli/cli_support.h"

#include "cli/cli_commands.h"
#include "core/jobs_catalogue.h"
#include "formats/events_log.h"
#include "i18n/translation.h"
#include "jobs/job.h"
#include "storage/storage_helpers.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
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
    "  morvane-cli schedule NAME (--weekdays mon,...|all | --month-days 1,...,31) --at HH:MM[:SS]\n"
    "              [--at HH:MM[:SS] ...] [--catch-up] [--shutdown]\n"
    "  morvane-cli schedule NAME --off\n"
    "  morvane-cli run-scheduler\n";

std::atomic<bool> interruptRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnInterruptSignal(int) {
    interruptRequested.store(true);
}

QString PlainLineBreaks(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// "Retry after N seconds." and the path while a failed action waits for its next attempt, else empty.
QString RetryWaitText(const TJob& job) {
    const TDateTime deadline = job.RetryDeadline;
    if (deadline <= 0 || job.CurrentFileOperationType != atNone_WaitingForReconnection)
        return QString();
    const double seconds = std::ceil((deadline - Now()) * 24 * 3600 - 0.001);
    const QString text = FormatText(Translate(QStringLiteral("Retry after %s seconds.")),
                                    {QString::number(std::max(0, static_cast<int>(seconds)))});
    return text + u' ' + job.CurrentFileOperationPath.Text();
}

QString ProgressText(const TJob& job, bool showCounters) {
    if (const QString waiting = RetryWaitText(job); !waiting.isEmpty())
        return waiting;
    QString text;
    if (showCounters)
        text = QStringLiteral("%1 files, %2")
                   .arg(job.CurrentBackupFilesProcessed.load())
                   .arg(SizeText(job.CurrentBackupSize));
    const QString path = job.CurrentFileOperationPath.Text();
    if (!path.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(": ")) + path;
    return text;
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
    int index = catalogue.IndexOfExactName(name);
    if (index < 0)
        index = catalogue.IndexOfName(name);
    if (index >= 0)
        return &catalogue.At(index);
    Fail(FormatText(Translate(QStringLiteral("Job \"%s\" is not found.")), {name}), ExitUnknownJob);
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
    bool cancelSent = false;
    QString shown;
    TDateTime waitShown = 0;
    // Progress is shown every quarter second; the end of the run is seen at once.
    while (!job.WaitForWorkerFor(std::chrono::milliseconds(250))) {
        if (InterruptRequested() && !cancelSent) {
            job.Cancel();
            cancelSent = true;
        }
        const QString progress = ProgressText(job, showCounters);
        // Plain output gets a line per file seen and one per wait before a retry; a terminal gets one
        // line rewritten in place, which counts a wait down.
        const TDateTime wait = job.RetryDeadline;
        const bool newWait = wait > 0 && wait != waitShown;
        const bool changed = terminal ? progress != shown : (wait > 0 ? newWait : progress != shown);
        waitShown = wait;
        if (changed && (terminal || !job.CurrentFileOperationPath.Text().isEmpty())) {
            if (terminal)
                Out() << "\r\033[K" << progress.left(200);
            else
                Out() << progress << '\n';
            Out().flush();
        }
        shown = progress;
    }
    job.WaitForWorker();
    if (terminal && !shown.isEmpty())
        Out() << "\r\033[K";
    PrintEvents(Out());
    if (job.LastJobResult.Cancelled)
        return ExitCancelled;
    return job.LastJobResult.ErrorsCount > 0 ? ExitFailure : ExitOk;
}

} // namespace morvane
