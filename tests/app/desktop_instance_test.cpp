// Two real programs of one user: the desktop program holding the jobs, and a second start of itself
// or the command-line tool, which hand their work to it.

#include "fixtures/temp_home.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

struct TRun {
    int exitCode = -1;
    QString out;
    QString err;
};

class DesktopInstanceTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        environment.remove(u"DBUS_SESSION_BUS_ADDRESS"_s);
        environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path="_s + HomePath(u"no-bus"_s));
    }
    void TearDown() override {
        if (desktop.state() != QProcess::NotRunning) {
            desktop.kill();
            desktop.waitForFinished(5000);
        }
        TempHomeTest::TearDown();
    }
    QString Socket() const { return AppDir() + u"/instance.socket"_s; }

    // Starts the desktop program and waits until it listens.
    void StartDesktop(const QStringList& arguments) {
        desktop.setProcessEnvironment(environment);
        desktop.start(QStringLiteral(MORVANE_BACKUP_PATH), arguments);
        ASSERT_TRUE(desktop.waitForStarted(10000));
        QDeadlineTimer deadline(20000);
        while (!QFileInfo::exists(Socket()) && !deadline.hasExpired() && desktop.state() == QProcess::Running)
            QThread::msleep(20);
        ASSERT_TRUE(QFileInfo::exists(Socket())) << desktop.readAllStandardError().toStdString();
    }
    TRun Start(const QString& program, const QStringList& arguments, int timeout = 60000) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(timeout)) << arguments.join(u' ').toStdString();
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }
    TRun Cli(const QStringList& arguments) { return Start(QStringLiteral(MORVANE_CLI_PATH), arguments); }

    // Waits until the job's last result, as the tool lists it, starts with `prefix`.
    QString WaitForResult(const QString& job, const QString& prefix) {
        QDeadlineTimer deadline(60000);
        QString line;
        while (!deadline.hasExpired()) {
            for (const QString& candidate : Cli({u"list"_s}).out.split(u'\n')) {
                if (candidate.startsWith(job + u'\t'))
                    line = candidate;
            }
            if (line.section(u'\t', 3).startsWith(prefix))
                return line;
            QThread::msleep(200);
        }
        return line;
    }

    QProcessEnvironment environment;
    QProcess desktop;
};

// Answered without a display and without touching the instance: they work in a terminal and beside a
// running program.
TEST_F(DesktopInstanceTest, InformationSwitchesNeedNoDisplay) {
    environment.remove(u"QT_QPA_PLATFORM"_s);
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    struct Case {
        QString argument;
        QStringList expected;
    };
    const Case cases[] = {
        {u"--help"_s, {u"Usage: morvane-backup"_s, u"--hide"_s, u"FILE.bmj"_s, u"--version"_s}},
        {u"-h"_s, {u"Usage: morvane-backup"_s}},
        {u"--version"_s, {u"morvane-backup "_s + QStringLiteral(MORVANE_VERSION) + u'\n'}},
    };
    for (const Case& c : cases) {
        const TRun run = Start(QStringLiteral(MORVANE_BACKUP_PATH), {c.argument}, 20000);
        EXPECT_EQ(run.exitCode, 0) << c.argument.toStdString() << run.err.toStdString();
        for (const QString& text : c.expected)
            EXPECT_TRUE(run.out.contains(text)) << c.argument.toStdString() << ": " << run.out.toStdString();
        EXPECT_FALSE(QFileInfo::exists(Socket())) << c.argument.toStdString();
    }
}

TEST_F(DesktopInstanceTest, ASecondStartHandsOverAndEnds) {
    StartDesktop({u"/hide"_s});
    for (const QStringList& arguments :
         {QStringList{}, QStringList{u"/hide"_s}, QStringList{HomePath(u"Daily.bmj"_s)},
          QStringList{u"Daily.BMJ"_s}}) {
        const TRun second = Start(QStringLiteral(MORVANE_BACKUP_PATH), arguments, 20000);
        EXPECT_EQ(second.exitCode, 0) << arguments.join(u' ').toStdString() << second.err.toStdString();
    }
    EXPECT_EQ(desktop.state(), QProcess::Running) << "the first instance goes on";
}

TEST_F(DesktopInstanceTest, JobCommandsOfTheToolAreDoneByTheDesktopProgram) {
    StartDesktop({u"/hide"_s});
    testing::WriteFileBytes(HomePath(u"src/a.txt"_s), "alpha");
    testing::WriteFileBytes(HomePath(u"src/sub/b.txt"_s), "beta");
    QDir().mkpath(HomePath(u"dest"_s));

    const TRun created =
        Cli({u"new"_s, u"Docs"_s, u"--source"_s, HomePath(u"src"_s), u"--dest"_s, HomePath(u"dest"_s)});
    ASSERT_EQ(created.exitCode, 0) << created.err.toStdString();
    const TRun scheduler = Cli({u"run-scheduler"_s});
    EXPECT_NE(scheduler.exitCode, 0);
    EXPECT_TRUE(scheduler.err.contains(u"owns the jobs"_s)) << scheduler.err.toStdString();

    // The desktop program loaded the new job again, so it can queue it.
    const TRun queued = Cli({u"backup"_s, u"Docs"_s});
    EXPECT_EQ(queued.exitCode, 0) << queued.err.toStdString();
    EXPECT_TRUE(queued.out.contains(u"queued"_s)) << queued.out.toStdString();
    EXPECT_TRUE(WaitForResult(u"Docs"_s, u"Finished on"_s).contains(u"Finished on"_s));
    EXPECT_EQ(Cli({u"backup"_s, u"Nope"_s}).exitCode, 2);

    // Renaming and duplicating are done there too, and the desktop program knows the new names.
    const TRun renamed = Cli({u"rename"_s, u"Docs"_s, u"Papers"_s});
    EXPECT_EQ(renamed.exitCode, 0) << renamed.err.toStdString();
    EXPECT_TRUE(renamed.out.contains(u"Job \"Docs\" is renamed to \"Papers\"."_s))
        << renamed.out.toStdString();
    EXPECT_TRUE(QDir(HomePath(u"dest/Papers"_s)).exists());
    EXPECT_EQ(Cli({u"backup"_s, u"Docs"_s}).exitCode, 2) << "the desktop program forgot the old name";
    const TRun duplicated = Cli({u"duplicate"_s, u"Papers"_s});
    EXPECT_EQ(duplicated.exitCode, 0) << duplicated.err.toStdString();
    EXPECT_EQ(Cli({u"backup"_s, u"Papers (Duplicated)"_s}).exitCode, 0);
    EXPECT_TRUE(WaitForResult(u"Papers (Duplicated)"_s, u"Finished on"_s).contains(u"Finished on"_s));

    const TRun removed = Cli({u"remove"_s, u"Papers"_s});
    EXPECT_EQ(removed.exitCode, 0) << removed.err.toStdString();
    EXPECT_EQ(Cli({u"backup"_s, u"Papers"_s}).exitCode, 2) << "the desktop program forgot the removed job";

    // An orderly end on SIGTERM frees the lock: the tool works on its own again.
    ::kill(static_cast<pid_t>(desktop.processId()), SIGTERM);
    ASSERT_TRUE(desktop.waitForFinished(20000));
    EXPECT_EQ(desktop.exitStatus(), QProcess::NormalExit);
    const TRun alone =
        Cli({u"new"_s, u"Again"_s, u"--source"_s, HomePath(u"src"_s), u"--dest"_s, HomePath(u"dest"_s)});
    EXPECT_EQ(alone.exitCode, 0) << alone.err.toStdString();
}

TEST_F(DesktopInstanceTest, TheHeadlessSchedulerKeepsTheDesktopProgramOut) {
    QProcess scheduler;
    scheduler.setProcessEnvironment(environment);
    scheduler.start(QStringLiteral(MORVANE_CLI_PATH), {u"run-scheduler"_s});
    ASSERT_TRUE(scheduler.waitForReadyRead(20000));
    ASSERT_TRUE(scheduler.readAllStandardOutput().contains("The scheduler runs"));
    const TRun start = Start(QStringLiteral(MORVANE_BACKUP_PATH), {}, 30000);
    EXPECT_EQ(start.exitCode, 0);
    EXPECT_TRUE(start.err.contains(u"owns the jobs without a window"_s)) << start.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Socket()));
    scheduler.terminate();
    EXPECT_TRUE(scheduler.waitForFinished(20000));
}

// An elevated start is not stopped by the single-instance test, but two programs never own the jobs:
// while the running one stays, the elevated one hands its backup over to it.
TEST_F(DesktopInstanceTest, AnElevatedBackupStartWhileTheProgramRunsIsDoneByIt) {
    StartDesktop({u"/hide"_s});
    testing::WriteFileBytes(HomePath(u"src/a.txt"_s), "alpha");
    QDir().mkpath(HomePath(u"dest"_s));
    ASSERT_EQ(Cli({u"new"_s, u"Docs"_s, u"--source"_s, HomePath(u"src"_s), u"--dest"_s, HomePath(u"dest"_s)})
                  .exitCode,
              0);
    const TRun elevated =
        Start(QStringLiteral(MORVANE_BACKUP_PATH), {u"/backup"_s, u"Docs"_s, u"/hide"_s}, 40000);
    EXPECT_EQ(elevated.exitCode, 0) << elevated.err.toStdString();
    EXPECT_TRUE(WaitForResult(u"Docs"_s, u"Finished on"_s).contains(u"Finished on"_s));
    EXPECT_EQ(desktop.state(), QProcess::Running);
}

} // namespace
} // namespace morvane
