// The commands of scheduled work: schedule (a job's days and times) and run-scheduler (the scheduler
// without a window, for machines without a desktop session).

#include "cli/cli_commands.h"
#include "cli/cli_support.h"
#include "core/jobs_catalogue.h"
#include "i18n/translation.h"
#include "jobs/job_file.h"
#include "platform/date_time.h"
#include "platform/power.h"
#include "platform/program_state.h"
#include "scheduler/job_starter.h"
#include "scheduler/scheduler_tick.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <thread>

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

// Marks the listed days of the month ("1,15,31"); the problem text, or empty.
QString ReadMonthDays(const QString& text, std::array<bool, 31>& days) {
    days.fill(false);
    for (const QString& word : text.split(u',')) {
        bool ok = false;
        const int day = word.trimmed().toInt(&ok);
        if (!ok || day < 1 || day > 31)
            return QStringLiteral("--month-days takes days from 1 to 31, separated by commas.");
        days[day - 1] = true;
    }
    return QString();
}

// The time table in ascending order, written as the job editors write it ("08:05:00").
QString ReadTimeTable(const QStringList& texts, QStringList& table) {
    for (const QString& text : texts) {
        QTime time = QTime::fromString(text.trimmed(), QStringLiteral("H:mm:ss"));
        if (!time.isValid())
            time = QTime::fromString(text.trimmed(), QStringLiteral("H:mm"));
        if (!time.isValid())
            return QStringLiteral("--at takes a time of day as HH:MM or HH:MM:SS: ") + text;
        const QString entry = time.toString(QStringLiteral("hh:mm:ss"));
        if (table.contains(entry))
            return Translate(QStringLiteral("Record already exists")) + QStringLiteral(": ") + entry;
        table.append(entry);
    }
    std::sort(table.begin(), table.end()); // fixed-width digits sort as times
    return QString();
}

// Fills a schedule from the arguments; the usage problem, or empty.
QString FillSchedule(TSchedulingSettings& schedule, const TCliArguments& arguments) {
    const bool off = arguments.Has(QStringLiteral("--off"));
    const bool weekly = arguments.Has(QStringLiteral("--weekdays"));
    const bool monthly = arguments.Has(QStringLiteral("--month-days"));
    if (int(off) + int(weekly) + int(monthly) != 1)
        return QStringLiteral("schedule takes one of --weekdays, --month-days and --off.");
    if (off) {
        // The days and times stay, so that the schedule can be switched on again as it was.
        schedule.SchedulingType = stDisabled;
        return QString();
    }
    const QStringList times = arguments.Values(QStringLiteral("--at"));
    if (times.isEmpty())
        return QStringLiteral("schedule needs at least one --at time.");
    QStringList table;
    QString problem = ReadTimeTable(times, table);
    if (problem.isEmpty())
        problem = weekly
                      ? ReadWeekdays(arguments.Value(QStringLiteral("--weekdays")), schedule.DaysOfWeek)
                      : ReadMonthDays(arguments.Value(QStringLiteral("--month-days")), schedule.DaysOfMonth);
    if (!problem.isEmpty())
        return problem;
    schedule.SchedulingType = weekly ? stDaysOfWeek : stDaysOfMonth;
    schedule.TimeTable = table;
    schedule.RunJobAsSoonAsPossibleAfterAScheduledStartIsMissed = arguments.Has(QStringLiteral("--catch-up"));
    schedule.ShutdownPCInTheEnd = arguments.Has(QStringLiteral("--shutdown"));
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

// Cancels the runs still going and waits until each has closed (log and job file saved).
void CancelAndWaitForRuns(const std::vector<TJob*>& jobs) {
    for (TJob* job : jobs) {
        if (IsJobActive(*job))
            job->Cancel();
    }
    while (AnyJobIsActive(jobs))
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    PrintEvents(Out());
}

} // namespace

int ScheduleJob(TJobsCatalogue& catalogue, const TCliArguments& arguments) {
    TJob* job = FindJob(catalogue, arguments.positional.first());
    if (!job)
        return ExitUnknownJob;
    TSchedulingSettings schedule = job->SchedulingSettings;
    if (const QString problem = FillSchedule(schedule, arguments); !problem.isEmpty())
        return Usage(problem);
    // Starts scheduled before this moment are not made up for, as after an edit in the job editor.
    schedule.LastModificationDateTime = Now();
    job->SchedulingSettings = schedule;
    if (!SaveLocalJobFile(*job, catalogue.JobFilePath(job->stJobName)))
        return Fail(QStringLiteral("Unable to save the job file: ") + catalogue.JobFilePath(job->stJobName),
                    ExitFailure);
    return ExitOk;
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
    Out() << DateTimeText(CurrentDateTime()) << ": The scheduler has stopped.\n";
    Out().flush();
    return ExitOk;
}

} // namespace morvane
