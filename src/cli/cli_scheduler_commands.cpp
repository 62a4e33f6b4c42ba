// The commands of scheduled work: schedule (a job's days and times) and run-scheduler (the scheduler
// without a window, for machines without a desktop session).

#include "cli/cli_commands.h"
#include "cli/cli_support.h"
#include "core/job_commands.h"
#include "core/jobs_catalogue.h"
#include "core/run_progress.h"
#include "i18n/translation.h"
#include "platform/date_time.h"
#include "platform/power.h"
#include "platform/program_state.h"
#include "scheduler/job_starter.h"
#include "scheduler/scheduler_tick.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTimer>

namespace morvane {

namespace {

const QStringList WeekdayWords = {QStringLiteral("mon"), QStringLiteral("tue"), QStringLiteral("wed"),
                                  QStringLiteral("thu"), QStringLiteral("fri"), QStringLiteral("sat"),
                                  QStringLiteral("sun")};

// Marks the named weekdays ("mon,fri" or "all"); the problem text, or empty.
QString ReadWeekdays(const QString& text, std::array<bool, 7>& days) {
    days.fill(text.trimmed().compare(u"all", Qt::CaseInsensitive) == 0);
    if (days[0])
        return QString();
    for (const QString& word : text.split(u',')) {
        const qsizetype index = WeekdayWords.indexOf(word.trimmed().toLower());
        if (index < 0)
            return QStringLiteral(
                "--weekdays takes mon,tue,wed,thu,fri,sat,sun or all, separated by commas.");
        days[index] = true;
    }
    return QString();
}

const char* const MonthDaysProblem = "--month-days takes days from 1 to 31, separated by commas.";

// Reads the listed days of the month ("1,15,31"); the problem text, or empty.
QString ReadMonthDays(const QString& text, std::vector<int>& days) {
    for (const QString& word : text.split(u',')) {
        bool ok = false;
        days.push_back(word.trimmed().toInt(&ok));
        if (!ok)
            return QString::fromLatin1(MonthDaysProblem);
    }
    return QString();
}

QString ScheduleProblemText(const TScheduleResult& result) {
    switch (result.Problem) {
    case ScheduleProblem::None:
        return QString();
    case ScheduleProblem::NoTimes:
        return QStringLiteral("schedule needs at least one --at time.");
    case ScheduleProblem::TimeInvalid:
        return QStringLiteral("--at takes a time of day as HH:MM or HH:MM:SS: ") + result.Detail;
    case ScheduleProblem::TimeRepeated:
        return Translate(QStringLiteral("Record already exists")) + QStringLiteral(": ") + result.Detail;
    case ScheduleProblem::MonthDayOutOfRange:
        return QString::fromLatin1(MonthDaysProblem);
    }
    return QString();
}

// Builds the job's schedule from the arguments; the usage problem, or empty.
QString FillSchedule(TSchedulingSettings& schedule, const TCliArguments& arguments) {
    const bool off = arguments.Has(QStringLiteral("--off"));
    const bool weekly = arguments.Has(QStringLiteral("--weekdays"));
    const bool monthly = arguments.Has(QStringLiteral("--month-days"));
    if (int(off) + int(weekly) + int(monthly) != 1)
        return QStringLiteral("schedule takes one of --weekdays, --month-days and --off.");
    TScheduleRequest request;
    request.Type = off      ? TScheduleRequest::Kind::Off
                   : weekly ? TScheduleRequest::Kind::DaysOfWeek
                            : TScheduleRequest::Kind::DaysOfMonth;
    request.Times = arguments.Values(QStringLiteral("--at"));
    request.CatchUp = arguments.Has(QStringLiteral("--catch-up"));
    request.Shutdown = arguments.Has(QStringLiteral("--shutdown"));
    // The times are checked before the days.
    QString daysProblem;
    if (weekly)
        daysProblem = ReadWeekdays(arguments.Value(QStringLiteral("--weekdays")), request.Weekdays);
    else if (monthly)
        daysProblem = ReadMonthDays(arguments.Value(QStringLiteral("--month-days")), request.MonthDays);
    if (!daysProblem.isEmpty())
        request.MonthDays.clear();
    const TScheduleResult result = BuildSchedule(schedule, request);
    if (result.Problem != ScheduleProblem::None)
        return ScheduleProblemText(result);
    if (!off && !daysProblem.isEmpty())
        return daysProblem;
    schedule = result.Schedule;
    return QString();
}

// The window's part of the tick: the events lines go to stdout.
class TCliSchedulerWindow final : public ISchedulerWindow {
public:
    void RefreshAfterTick(const TSchedulerCounts&) override { PrintEvents(Out()); }
    void CloseForElevatedInstance() override { QCoreApplication::quit(); }
};

// The countdown before the end-of-run power-off, as lines on stdout: every ten seconds, then each of
// the last five.
class TCliShutdownNotice final : public IShutdownDialog {
public:
    void ShowShutdownMessage(const QString& message) override {
        const QRegularExpressionMatch number = QRegularExpression(QStringLiteral("\\d+")).match(message);
        const int seconds = number.hasMatch() ? number.captured().toInt() : 0;
        if (!showing_ || seconds % 10 == 0 || seconds <= 5) {
            Out() << DateTimeText(CurrentDateTime()) << ": " << message << '\n';
            Out().flush();
        }
        showing_ = true;
    }
    void CloseShutdownDialog() override { showing_ = false; }

private:
    bool showing_ = false;
};

// The headless scheduler never restarts itself elevated: drive-image jobs run with its own rights.
class TNoElevation final : public IElevation {
public:
    bool RestartElevated(const QStringList&) override { return false; }
};

std::vector<TJob*> JobsOf(const TJobsCatalogue& catalogue) {
    std::vector<TJob*> jobs;
    for (int i = 0; i < catalogue.Count(); ++i)
        jobs.push_back(&catalogue.At(i));
    return jobs;
}

} // namespace

int ScheduleJob(TJobsCatalogue& catalogue, const TCliArguments& arguments) {
    TJob* job = FindJob(catalogue, arguments.positional.first());
    if (!job)
        return ExitUnknownJob;
    TSchedulingSettings schedule = job->SchedulingSettings;
    if (const QString problem = FillSchedule(schedule, arguments); !problem.isEmpty())
        return Usage(problem);
    const TJobCommandResult result = SaveJobSchedule(catalogue, *job, schedule);
    return result.Outcome == JobCommandOutcome::Done ? ExitOk : Fail(result.Message, ExitFailure);
}

int RunScheduler(TJobsCatalogue& catalogue, const TCliArguments&) {
    Program().StartedElevated = true;
    TJobStarter starter;
    TCliSchedulerWindow window;
    TCliShutdownNotice notice;
    TNoElevation elevation;
    TScheduler scheduler([&catalogue] { return JobsOf(catalogue); },
                         {starter, window, notice, SystemPowerControl(), elevation}, true);
    Out() << DateTimeText(CurrentDateTime()) << ": The scheduler runs " << catalogue.Count()
          << " job(s); stop it with Ctrl+C or SIGTERM.\n";
    Out().flush();
    scheduler.Enable();

    QTimer watch; // the signal handler only sets a flag, so the loop looks for it
    watch.setInterval(200);
    QObject::connect(&watch, &QTimer::timeout, [] {
        if (InterruptRequested() || Program().ClosingRequested)
            QCoreApplication::quit();
    });
    watch.start();
    QCoreApplication::exec();

    scheduler.Disable();
    CancelAndWaitForRuns(JobsOf(catalogue));
    PrintEvents(Out());
    Out() << DateTimeText(CurrentDateTime()) << ": The scheduler has stopped.\n";
    Out().flush();
    return ExitOk;
}

} // namespace morvane
