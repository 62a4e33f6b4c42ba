// The real morvane-cli setting schedules and running the scheduler without a window.

#include "cli/cli_job_fixture.h"
#include "core/jobs_catalogue.h"
#include "platform/date_time.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <csignal>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::CliRun;

class CliSchedulerTest : public testing::CliJobTest {
protected:
    void SetUp() override {
        testing::CliJobTest::SetUp();
        // The scheduler keeps the computer awake through the system bus: give it none to reach.
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + QFile::encodeName(HomePath(u"no-bus"_s)));
    }
    void TearDown() override {
        qunsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        if (scheduler_.state() != QProcess::NotRunning) {
            scheduler_.kill();
            scheduler_.waitForFinished();
        }
        testing::CliJobTest::TearDown();
    }

    // A files-and-folders job backing up `files` small files into HOME/dest.
    void NewJob(const QString& name, int files) {
        ASSERT_TRUE(QDir().mkpath(Src(name)));
        for (int i = 0; i < files; ++i)
            testing::WriteFileBytes(Src(name + u"/f"_s + QString::number(i) + u".txt"_s),
                                    QByteArray::number(i));
        Ok({u"new"_s, name, u"--source"_s, Src(name), u"--dest"_s, Dest(), u"--type"_s, u"full"_s});
    }

    TJob& LoadJob(TJobsCatalogue& catalogue, const QString& name) {
        EXPECT_TRUE(catalogue.LoadJobsListAndJobs());
        const int index = catalogue.IndexOfExactName(name);
        EXPECT_GE(index, 0);
        return catalogue.At(index);
    }

    // Schedules the job every day a few seconds from now; returns that moment.
    QDateTime ScheduleSoon(const QString& name, int seconds) {
        QDateTime start = QDateTime::currentDateTime().addSecs(seconds);
        start.setTime(QTime(start.time().hour(), start.time().minute(), start.time().second()));
        const CliRun run = Run({u"schedule"_s, name, u"--weekdays"_s, u"all"_s, u"--at"_s,
                                start.time().toString(u"hh:mm:ss"_s), u"--catch-up"_s});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return start;
    }

    void StartScheduler() {
        scheduler_.start(QStringLiteral(MORVANE_CLI_PATH), {u"run-scheduler"_s});
        ASSERT_TRUE(scheduler_.waitForStarted());
        ASSERT_TRUE(WaitForOutput(u"The scheduler runs"_s, 30000));
    }

    // Reads the scheduler's output until it holds `text`; false after `milliseconds`.
    bool WaitForOutput(const QString& text, int milliseconds) {
        QElapsedTimer elapsed;
        elapsed.start();
        while (!output_.contains(text)) {
            if (elapsed.elapsed() > milliseconds || scheduler_.state() == QProcess::NotRunning)
                return false;
            scheduler_.waitForReadyRead(200);
            output_ += QString::fromUtf8(scheduler_.readAllStandardOutput());
        }
        return true;
    }

    // Stops the scheduler as a service manager would; its exit code.
    int StopScheduler() {
        ::kill(static_cast<pid_t>(scheduler_.processId()), SIGTERM);
        EXPECT_TRUE(scheduler_.waitForFinished(60000));
        EXPECT_EQ(scheduler_.exitStatus(), QProcess::NormalExit);
        output_ += QString::fromUtf8(scheduler_.readAllStandardOutput());
        return scheduler_.exitCode();
    }

    QProcess scheduler_;
    QString output_;
};

TEST_F(CliSchedulerTest, ScheduleStoresDaysAndTimesInOrder) {
    NewJob(u"Docs"_s, 1);
    CliRun run = Run({u"schedule"_s, u"Docs"_s, u"--weekdays"_s, u"mon,FRI"_s, u"--at"_s, u"18:00"_s,
                      u"--at"_s, u"8:05:00"_s, u"--catch-up"_s});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    {
        TJobsCatalogue catalogue(AppDir());
        const TSchedulingSettings& schedule = LoadJob(catalogue, u"Docs"_s).SchedulingSettings;
        EXPECT_EQ(schedule.SchedulingType, stDaysOfWeek);
        EXPECT_EQ(schedule.DaysOfWeek, (std::array<bool, 7>{true, false, false, false, true, false, false}));
        EXPECT_EQ(schedule.TimeTable, (QStringList{u"08:05:00"_s, u"18:00:00"_s}));
        EXPECT_TRUE(schedule.RunJobAsSoonAsPossibleAfterAScheduledStartIsMissed);
        EXPECT_FALSE(schedule.ShutdownPCInTheEnd);
        EXPECT_NEAR(schedule.LastModificationDateTime, Now(), 60.0 / 86400);
    }

    run = Run(
        {u"schedule"_s, u"Docs"_s, u"--month-days"_s, u"31,1"_s, u"--at"_s, u"23:59:59"_s, u"--shutdown"_s});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    {
        TJobsCatalogue catalogue(AppDir());
        const TSchedulingSettings& schedule = LoadJob(catalogue, u"Docs"_s).SchedulingSettings;
        EXPECT_EQ(schedule.SchedulingType, stDaysOfMonth);
        EXPECT_TRUE(schedule.DaysOfMonth[0] && schedule.DaysOfMonth[30] && !schedule.DaysOfMonth[1]);
        EXPECT_EQ(schedule.TimeTable, QStringList{u"23:59:59"_s});
        EXPECT_FALSE(schedule.RunJobAsSoonAsPossibleAfterAScheduledStartIsMissed);
        EXPECT_TRUE(schedule.ShutdownPCInTheEnd);
    }

    // Switching off keeps the days and times for switching on again.
    ASSERT_EQ(Run({u"schedule"_s, u"Docs"_s, u"--off"_s}).exitCode, 0);
    TJobsCatalogue catalogue(AppDir());
    const TSchedulingSettings& schedule = LoadJob(catalogue, u"Docs"_s).SchedulingSettings;
    EXPECT_EQ(schedule.SchedulingType, stDisabled);
    EXPECT_EQ(schedule.TimeTable, QStringList{u"23:59:59"_s});
}

TEST_F(CliSchedulerTest, ScheduleRefusesBadArgumentsAndChangesNothing) {
    NewJob(u"Docs"_s, 1);
    const struct {
        QStringList arguments;
        QString error;
    } cases[] = {
        {{u"--weekdays"_s, u"all"_s, u"--at"_s, u"24:00"_s}, u"--at takes a time of day"_s},
        {{u"--weekdays"_s, u"all"_s, u"--at"_s, u"10:60"_s}, u"--at takes a time of day"_s},
        {{u"--weekdays"_s, u"all"_s, u"--at"_s, u"noon"_s}, u"--at takes a time of day"_s},
        {{u"--weekdays"_s, u"mon,someday"_s, u"--at"_s, u"10:00"_s}, u"--weekdays takes"_s},
        {{u"--month-days"_s, u"0"_s, u"--at"_s, u"10:00"_s}, u"--month-days takes"_s},
        {{u"--month-days"_s, u"32"_s, u"--at"_s, u"10:00"_s}, u"--month-days takes"_s},
        {{u"--weekdays"_s, u"all"_s, u"--at"_s, u"10:00"_s, u"--at"_s, u"10:00:00"_s},
         u"Record already exists: 10:00:00"_s},
        {{u"--weekdays"_s, u"all"_s}, u"schedule needs at least one --at time."_s},
        {{u"--weekdays"_s, u"all"_s, u"--off"_s, u"--at"_s, u"10:00"_s}, u"schedule takes one of"_s},
        {{u"--at"_s, u"10:00"_s}, u"schedule takes one of"_s},
    };
    for (const auto& c : cases) {
        const CliRun run = Run(QStringList{u"schedule"_s, u"Docs"_s} + c.arguments);
        EXPECT_EQ(run.exitCode, 64) << c.arguments.join(u' ').toStdString();
        EXPECT_TRUE(run.err.contains(c.error)) << run.err.toStdString();
    }
    TJobsCatalogue catalogue(AppDir());
    const TSchedulingSettings& schedule = LoadJob(catalogue, u"Docs"_s).SchedulingSettings;
    EXPECT_EQ(schedule.SchedulingType, stDisabled);
    EXPECT_TRUE(schedule.TimeTable.isEmpty());
    EXPECT_EQ(Run({u"schedule"_s, u"Nobody"_s, u"--off"_s}).exitCode, 2);
}

TEST_F(CliSchedulerTest, RunSchedulerStartsADueJobAndOwnsTheJobsMeanwhile) {
    NewJob(u"Docs"_s, 3);
    const QDateTime start = ScheduleSoon(u"Docs"_s, 4);
    StartScheduler();

    // While it runs, a second scheduler and every command that changes jobs are refused.
    CliRun run = Run({u"run-scheduler"_s});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(u"Another Morvane Backup program of this user is running (process "_s +
                                 QString::number(scheduler_.processId()) + u") and owns the jobs."_s))
        << run.err.toStdString();
    EXPECT_EQ(Run({u"backup"_s, u"Docs"_s}).exitCode, 2);
    EXPECT_EQ(Run({u"schedule"_s, u"Docs"_s, u"--off"_s}).exitCode, 1);
    EXPECT_EQ(Run({u"list"_s}).exitCode, 0);

    ASSERT_TRUE(WaitForOutput(u"Backup job \"Docs\" is finished."_s, 60000)) << output_.toStdString();
    EXPECT_TRUE(output_.contains(u"Starting the \"Docs\" backup."_s));
    EXPECT_EQ(StopScheduler(), 0);
    EXPECT_TRUE(output_.trimmed().endsWith(u"The scheduler has stopped."_s)) << output_.toStdString();

    TJobsCatalogue catalogue(AppDir());
    const TJob& job = LoadJob(catalogue, u"Docs"_s);
    EXPECT_GE(job.LastJobResult.StartTime.load(), ToDateTimeValue(start));
    EXPECT_EQ(job.LastJobResult.ErrorsCount.load(), 0);
    const QStringList backups = QDir(Dest(u"Docs"_s)).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(backups.size(), 1);
    EXPECT_TRUE(QFileInfo::exists(Dest(u"Docs/"_s + backups[0] + u"/Docs/f2.txt"_s)))
        << backups[0].toStdString();

    // Once it has stopped, the jobs are free again.
    EXPECT_EQ(Run({u"schedule"_s, u"Docs"_s, u"--off"_s}).exitCode, 0);
}

TEST_F(CliSchedulerTest, StoppingTheSchedulerCancelsARunningJobAndLetsItClose) {
    NewJob(u"Many"_s, 15000);
    ScheduleSoon(u"Many"_s, 2);
    StartScheduler();
    ASSERT_TRUE(WaitForOutput(u"Starting the \"Many\" backup."_s, 60000)) << output_.toStdString();
    EXPECT_EQ(StopScheduler(), 0);
    EXPECT_TRUE(output_.contains(u"\"Many\" backup is cancelled."_s)) << output_.right(500).toStdString();
    EXPECT_TRUE(output_.trimmed().endsWith(u"The scheduler has stopped."_s));
    const CliRun history = Run({u"history"_s, u"Many"_s});
    EXPECT_TRUE(history.out.trimmed().endsWith(u"Backup is cancelled."_s)) << history.out.toStdString();
}

} // namespace
} // namespace morvane
