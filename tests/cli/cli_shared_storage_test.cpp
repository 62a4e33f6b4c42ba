// The real morvane-cli where a backup is shared: two users' jobs of one name on one destination, and
// a read command run beside a backup of the same job.

#include "cli/cli_job_fixture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QThread>

#include <csignal>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::CliRun;
using testing::ReadFileBytes;
using testing::TreeContents;
using testing::WriteFileBytes;
using Tree = QMap<QString, QByteArray>;

class CliSharedStorageTest : public testing::CliJobTest {
protected:
    // Another user of the computer: a home of its own, so a configuration (application directory) and a
    // temporary folder of its own.
    QProcessEnvironment OtherUser(const QString& name) const {
        const QString home = HomePath(u"users/"_s + name);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"HOME"_s, home);
        environment.insert(u"XDG_CONFIG_HOME"_s, home + u"/config"_s);
        environment.insert(u"XDG_DATA_HOME"_s, home + u"/data"_s);
        environment.insert(u"TMPDIR"_s, home + u"/tmp"_s);
        for (const QString& folder : {u"config"_s, u"data"_s, u"tmp"_s, u"Documents"_s})
            EXPECT_TRUE(QDir().mkpath(home + u'/' + folder));
        return environment;
    }
    QString Refusal() const {
        return u"The backup folder "_s + Dest(u"Docs"_s) + u" belongs to a job of another user or computer"_s;
    }
};

TEST_F(CliSharedStorageTest, TwoUsersJobsOfOneNameAndDestinationKeepTheirBackupsApart) {
    WriteFileBytes(Src(u"Ann/Docs/a.txt"_s), "ann's");
    Ok({u"new"_s, u"Docs"_s, u"--source"_s, Src(u"Ann/Docs"_s), u"--dest"_s, Dest()});
    Backup(u"Docs"_s);
    const Tree annsStorage = TreeContents(Dest());

    // Bob mirrors files of his own under the same name on the same disk.
    const QProcessEnvironment bob = OtherUser(u"bob"_s);
    WriteFileBytes(Src(u"Bob/Docs/b.txt"_s), "bob's");
    ASSERT_EQ(RunIn(bob, {u"new"_s, u"Docs"_s, u"--source"_s, Src(u"Bob/Docs"_s), u"--dest"_s, Dest(),
                          u"--type"_s, u"mirror"_s})
                  .exitCode,
              0);
    struct Case {
        QStringList arguments;
        int exitCode;
    };
    const Case refused[] = {
        {{u"backup"_s, u"Docs"_s}, 2},
        {{u"points"_s, u"Docs"_s}, 1},
        {{u"restore"_s, u"Docs"_s, u"--to"_s, Out(), u"--latest"_s}, 2},
        {{u"restore"_s, u"Docs"_s, u"--to"_s, Out()}, 2},
        {{u"remove"_s, u"Docs"_s, u"--with-backups"_s}, 1},
    };
    for (const Case& c : refused) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const CliRun run = RunIn(bob, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out.toStdString() << run.err.toStdString();
        EXPECT_TRUE(QString(run.out + run.err).contains(Refusal()))
            << run.out.toStdString() << run.err.toStdString();
        EXPECT_TRUE(TreeContents(Out()).isEmpty());
        EXPECT_EQ(TreeContents(Dest()), annsStorage);
    }
    EXPECT_EQ(Ok({u"points"_s, u"Docs"_s}).out.count(u'\n'), 1);
    Ok({u"restore"_s, u"Docs"_s, u"--to"_s, Out(), u"--latest"_s});
    EXPECT_EQ(TreeContents(Out()), (Tree{{u"Docs/a.txt"_s, "ann's"}}));

    // Bob takes the backup over by importing it; from then on it is his and Ann's job refuses it.
    EXPECT_TRUE(RunIn(bob, {u"list"_s}).out.isEmpty())
        << "remove drops the record even when the folder stays";
    const CliRun imported = RunIn(bob, {u"import"_s, Dest(u"Docs.bmj"_s)});
    ASSERT_EQ(imported.exitCode, 0) << imported.err.toStdString();
    QThread::msleep(1100);
    const CliRun bobsBackup = RunIn(bob, {u"backup"_s, u"Docs"_s});
    EXPECT_EQ(bobsBackup.exitCode, 0) << bobsBackup.out.toStdString();
    EXPECT_TRUE(bobsBackup.out.contains(u"Backup job \"Docs\" is finished."_s))
        << bobsBackup.out.toStdString();
    EXPECT_EQ(RunIn(bob, {u"points"_s, u"Docs"_s}).out.count(u'\n'), 2);
    const CliRun annsBackup = Run({u"backup"_s, u"Docs"_s});
    EXPECT_EQ(annsBackup.exitCode, 2);
    EXPECT_TRUE(annsBackup.out.contains(Refusal())) << annsBackup.out.toStdString();
}

TEST_F(CliSharedStorageTest, AFolderWithoutOwnerFileIsAdoptedByTheNextRun) {
    WriteFileBytes(Src(u"Docs/a.txt"_s), "a");
    Ok({u"new"_s, u"Docs"_s, u"--source"_s, Src(u"Docs"_s), u"--dest"_s, Dest()});
    Backup(u"Docs"_s);
    ASSERT_TRUE(QFile::remove(Dest(u"Docs/_owner.qkl"_s))); // as an earlier version leaves the folder
    Backup(u"Docs"_s);
    const QByteArray identity = ReadFileBytes(AppDir() + u"/installation.id"_s).trimmed();
    ASSERT_FALSE(identity.isEmpty());
    EXPECT_EQ(ReadFileBytes(Dest(u"Docs/_owner.qkl"_s)), "\xEF\xBB\xBF" + identity + "\r\n");

    const QProcessEnvironment bob = OtherUser(u"bob"_s);
    ASSERT_EQ(RunIn(bob, {u"new"_s, u"Docs"_s, u"--source"_s, Src(u"Docs"_s), u"--dest"_s, Dest()}).exitCode,
              0);
    const CliRun run = RunIn(bob, {u"backup"_s, u"Docs"_s});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.out.contains(Refusal())) << run.out.toStdString();
}

// The state letter of a process ('T' when stopped), from the kernel's process table.
char ProcessState(qint64 pid) {
    const QByteArray stat = ReadFileBytes(u"/proc/"_s + QString::number(pid) + u"/stat"_s);
    const qsizetype end = stat.lastIndexOf(')');
    return end >= 0 && end + 2 < stat.size() ? stat[end + 2] : '?';
}

TEST_F(CliSharedStorageTest, ReadCommandsBesideARunningBackupLeaveItAlone) {
    WriteFileBytes(Src(u"Docs/a.txt"_s), "a1");
    Ok({u"new"_s, u"Docs"_s, u"--source"_s, Src(u"Docs"_s), u"--dest"_s, Dest()});
    Backup(u"Docs"_s);
    const Tree firstPoint = TreeContents(Src());
    for (int i = 0; i < 2000; ++i)
        WriteFileBytes(Src(u"Docs/Many/f"_s + QString::number(i) + u".txt"_s), QByteArray::number(i));
    QThread::msleep(1100);

    QProcess backup;
    backup.start(QStringLiteral(MORVANE_CLI_PATH), {u"backup"_s, u"Docs"_s});
    ASSERT_TRUE(backup.waitForStarted());
    // Hold the run still once it has marked the storage as in progress and is copying.
    const QString flag = Dest(u"Docs/_startflag.qkl"_s);
    QElapsedTimer waited;
    waited.start();
    while (!QFile::exists(flag) && waited.elapsed() < 60000)
        QThread::msleep(2);
    ASSERT_TRUE(QFile::exists(flag));
    ASSERT_EQ(::kill(pid_t(backup.processId()), SIGSTOP), 0);
    while (ProcessState(backup.processId()) != 'T' && waited.elapsed() < 60000)
        QThread::msleep(2);
    const QString tempRoot = HomePath(u"tmp/MorvaneBackupTmp"_s);
    const Tree runningTemp = TreeContents(tempRoot);
    ASSERT_TRUE(runningTemp.contains(u"Docs/_startflag.qkl"_s))
        << runningTemp.keys().join(u' ').toStdString();

    // The commands that change or run jobs wait for the backup; reading its points does not.
    const CliRun points = Run({u"points"_s, u"Docs"_s});
    EXPECT_EQ(points.exitCode, 0) << points.err.toStdString();
    EXPECT_EQ(points.out.count(u'\n'), 1);
    EXPECT_EQ(TreeContents(tempRoot), runningTemp);

    ASSERT_EQ(::kill(pid_t(backup.processId()), SIGCONT), 0);
    ASSERT_TRUE(backup.waitForFinished(300000));
    const QString out = QString::fromUtf8(backup.readAllStandardOutput());
    EXPECT_EQ(backup.exitCode(), 0) << out.right(2000).toStdString();
    EXPECT_TRUE(out.contains(u"Backup job \"Docs\" is finished. Files copied: 2000."_s))
        << out.right(2000).toStdString();
    Ok({u"restore"_s, u"Docs"_s, u"--to"_s, Out(), u"--point"_s, u"1"_s});
    EXPECT_EQ(TreeContents(Out()), firstPoint);
    FreshOutput();
    Ok({u"restore"_s, u"Docs"_s, u"--to"_s, Out(), u"--latest"_s});
    EXPECT_EQ(TreeContents(Out()), TreeContents(Src()));
}

} // namespace
} // namespace morvane
