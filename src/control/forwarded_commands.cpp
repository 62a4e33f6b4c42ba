#include "control/forwarded_commands.h"

#include "core/instance_channel.h"
#include "core/jobs_catalogue.h"
#include "scheduler/scheduler_tick.h"

#include <QCoreApplication>

namespace morvane {

namespace {

constexpr int ExitFailure = 1;
constexpr int ExitUnknownJob = 2;
constexpr int ExitUsage = 64;

bool AnyJobBusy(const TJobsCatalogue& catalogue) {
    for (int i = 0; i < catalogue.Count(); ++i) {
        if (catalogue.At(i).JobStatus != jsNone)
            return true;
    }
    return false;
}

} // namespace

TForwardedCommands::TForwardedCommands(TJobsCatalogue& catalogue, QString cliPath, QObject* parent)
    : QObject(parent), catalogue_(catalogue), cliPath_(std::move(cliPath)) {}

TForwardedCommands::~TForwardedCommands() {
    if (process_) {
        process_->disconnect(this);
        process_->kill();
        process_->waitForFinished(1000);
    }
}

void TForwardedCommands::Run(const QStringList& arguments, const QString& directory, const QByteArray& input,
                             TAnswer answer) {
    if (arguments.isEmpty()) {
        answer({ExitUsage, QString(), QStringLiteral("No command.")});
        return;
    }
    const QString command = arguments.first();
    if (command == u"run-scheduler") {
        answer({ExitFailure, QString(),
                QStringLiteral(
                    "The desktop program runs the scheduler already; quit it before starting another.")});
        return;
    }
    if (JobsLent()) {
        answer({ExitFailure, QString(),
                QStringLiteral("The desktop program is busy with another command; try again in a moment.")});
        return;
    }
    if (command == u"backup" && arguments.size() == 2) {
        answer(QueueBackup(arguments.at(1)));
        return;
    }
    Lend(arguments, directory, input, std::move(answer));
}

TCommandAnswer TForwardedCommands::QueueBackup(const QString& name) {
    int index = catalogue_.IndexOfExactName(name);
    if (index < 0)
        index = catalogue_.IndexOfName(name);
    if (index < 0)
        return {ExitUnknownJob, QString(), QStringLiteral("No job is named ") + name + u'.'};
    TJob& job = catalogue_.At(index);
    if (job.JobStatus != jsNone)
        return {ExitFailure, QString(),
                QStringLiteral("The job ") + job.stJobName +
                    QStringLiteral(" is not idle in the desktop program.")};
    job.JobStatus = jsWaiting;
    return {0,
            QStringLiteral("The desktop program has queued the job ") + job.stJobName + QStringLiteral(".\n"),
            QString()};
}

void TForwardedCommands::Lend(const QStringList& arguments, const QString& directory, const QByteArray& input,
                              TAnswer answer) {
    // A running job's file and chain belong to its run; another program must not change them.
    if (AnyJobBusy(catalogue_)) {
        answer({ExitFailure, QString(),
                QStringLiteral("The desktop program is running jobs; try again when they have finished.")});
        return;
    }
    process_ = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(LockDelegationVariable),
                       QString::number(QCoreApplication::applicationPid()));
    process_->setProcessEnvironment(environment);
    if (!directory.isEmpty())
        process_->setWorkingDirectory(directory);
    QProcess* process = process_.get();
    connect(process, &QProcess::started, this, [process, input] {
        process->write(input);
        process->closeWriteChannel();
    });
    connect(process, &QProcess::finished, this,
            [this, process, answer](int exitCode, QProcess::ExitStatus status) {
                const TCommandAnswer result{status == QProcess::NormalExit ? exitCode : ExitFailure,
                                            QString::fromUtf8(process->readAllStandardOutput()),
                                            QString::fromUtf8(process->readAllStandardError())};
                process_.release()->deleteLater();
                Reload();
                answer(result);
            });
    connect(process, &QProcess::errorOccurred, this, [this, process, answer](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        process_.release()->deleteLater();
        answer(
            {ExitFailure, QString(),
             QStringLiteral("Unable to start ") + cliPath_ + QStringLiteral(": ") + process->errorString()});
    });
    process->start(cliPath_, arguments);
}

void TForwardedCommands::Reload() {
    while (catalogue_.Count() > 0)
        catalogue_.Take(catalogue_.Count() - 1);
    catalogue_.LoadJobsListAndJobs();
    Q_EMIT JobsReloaded();
}

} // namespace morvane
