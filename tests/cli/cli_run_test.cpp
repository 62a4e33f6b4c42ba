// The real morvane-cli creating, backing up, restoring, importing and removing jobs on real folders.

#include "cli/cli_job_fixture.h"
#include "core/jobs_catalogue.h"
#include "formats/text_file.h"
#include "platform/program_state.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <csignal>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::CliRun;
using Tree = QMap<QString, QByteArray>;
using testing::TreeContents;
using testing::WriteFileBytes;

class CliRunTest : public testing::CliJobTest {};

TEST_F(CliRunTest, NewStoresTheSourcesAndSettingsAsGiven) {
    WriteFileBytes(Src(u"Docs/a.txt"_s), "a");
    WriteFileBytes(Src(u"notes.txt"_s), "n");
    const CliRun run = Run({u"new"_s,
                            u"Docs"_s,
                            u"--source"_s,
                            Src(u"Docs"_s),
                            u"--source"_s,
                            Src(u"notes.txt"_s),
                            u"--dest"_s,
                            u"//server/share/backups"_s,
                            u"--type"_s,
                            u"full"_s,
                            u"--full-every"_s,
                            u"3"_s,
                            u"--keep"_s,
                            u"2"_s,
                            u"--prune-before"_s,
                            u"--exclude"_s,
                            u" ;TMP;Bak;"_s,
                            u"--user"_s,
                            u"ann"_s,
                            u"--password-stdin"_s},
                           "s3cret\n");
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(u"Created new job: \"Docs\"."_s));
    const QJsonObject job = Show(u"Docs"_s);
    const QJsonObject sources = job[u"Settings"_s][u"Sources"_s].toObject();
    const QJsonObject backup = job[u"Settings"_s][u"Backup"_s].toObject();
    EXPECT_EQ(sources[u"List"_s].toVariant().toStringList(),
              (QStringList{Src(u"Docs/*"_s), Src(u"notes.txt"_s)}));
    EXPECT_EQ(sources[u"FilterType"_s].toString(), u"ftExclude");
    EXPECT_EQ(sources[u"Extensions"_s].toString(), u"tmp;bak");
    EXPECT_EQ(backup[u"BackupType"_s].toString(), u"btFull");
    EXPECT_EQ(backup[u"PerformFullBackup_EveryCopies"_s].toInt(), 3);
    EXPECT_EQ(backup[u"NumberFullCopiesToKeep"_s].toInt(), 2);
    EXPECT_TRUE(backup[u"RemoveOldBackupsBeforeStartingNewBackup"_s].toBool());
    EXPECT_EQ(job[u"DestinationType"_s].toString(), u"dtNetwork");
    EXPECT_EQ(job[u"Destination_NetworkUsername"_s].toString(), u"ann");
    EXPECT_EQ(job[u"Destination_NetworkPassword"_s].toString(), u"set");

    Ok({u"new"_s, u"Plain"_s, u"--source"_s, Src(u"Docs"_s), u"--dest"_s, Dest()});
    const QJsonObject plain = Show(u"Plain"_s);
    EXPECT_EQ(plain[u"Settings"_s][u"Backup"_s][u"BackupType"_s].toString(), u"btInc");
    EXPECT_EQ(plain[u"Settings"_s][u"Sources"_s][u"FilterType"_s].toString(), u"ftNoFilters");
    EXPECT_EQ(plain[u"DestinationType"_s].toString(), u"dtExternalDevice");
    EXPECT_EQ(Ok({u"list"_s}).out.count(u'\n'), 2);
}

TEST_F(CliRunTest, NewRefusesWhatTheJobEditorRefuses) {
    WriteFileBytes(Src(u"A/Docs/a.txt"_s), "a");
    WriteFileBytes(Src(u"B/docs/b.txt"_s), "b");
    Ok({u"new"_s, u"Docs"_s, u"--source"_s, Src(u"A/Docs"_s), u"--dest"_s, Dest()});
    struct Case {
        QStringList arguments;
        int exitCode;
        QString message;
    };
    const QStringList dest = {u"--dest"_s, Dest()};
    const QStringList source = {u"--source"_s, Src(u"A/Docs"_s)};
    const Case cases[] = {
        {QStringList{u"a<b"_s} + source + dest, 1,
         u"The following symbols are not allowed in the title:\n\n<>:\"/\\|?*"_s},
        {QStringList{u" docs "_s} + source + dest, 1,
         u"Job \" docs \" already exists. Please specify another name."_s},
        {QStringList{u"Two"_s} + source + QStringList{u"--source"_s, Src(u"B/docs"_s)} + dest, 1,
         u"Among the items there are files or folders having the same name"_s},
        {QStringList{u"Two"_s} + source + QStringList{u"--include"_s, u"txt;.doc"_s} + dest, 1,
         u"Characters * . , \\ / are not allowed."_s},
        {QStringList{u"Two"_s} + source + QStringList{u"--include"_s, u";"_s} + dest, 1,
         u"Please specify extensions separated by ;\nExample: txt;doc;exe"_s},
        {QStringList{u"Two"_s} + QStringList{u"--source"_s, Src(u"missing"_s)} + dest, 1,
         u"The source does not exist"_s},
        {QStringList{u"Two"_s} + source + QStringList{u"--include"_s, u"a"_s, u"--exclude"_s, u"b"_s} + dest,
         64, u"--include and --exclude exclude each other."_s},
        {QStringList{u"Two"_s} + source + QStringList{u"--type"_s, u"differential"_s} + dest, 64,
         u"--type is mirror, full or incremental."_s},
        {QStringList{u"Two"_s} + source + QStringList{u"--keep"_s, u"-1"_s} + dest, 64,
         u"--keep takes a number"_s},
        {QStringList{u"Two"_s} + source, 64, u"new needs at least one --source and a --dest."_s},
        {QStringList{u"Two"_s} + source + QStringList{u"--colour"_s, u"red"_s}, 64,
         u"Unknown option: --colour"_s},
    };
    for (const Case& c : cases) {
        const CliRun run = Run(QStringList{u"new"_s} + c.arguments);
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_TRUE(run.err.contains(c.message)) << run.err.toStdString();
    }
    EXPECT_EQ(Ok({u"list"_s}).out.count(u'\n'), 1);
}

TEST_F(CliRunTest, AChainOfFullAndIncrementalCopiesRestoresEachPoint) {
    WriteFileBytes(Src(u"Docs/a.txt"_s), "a1");
    WriteFileBytes(Src(u"Docs/b.txt"_s), "b1");
    WriteFileBytes(Src(u"Docs/Sub/c.txt"_s), "c1");
    Ok({u"new"_s, u"Docs"_s, u"--source"_s, Src(u"Docs"_s), u"--dest"_s, Dest(), u"--full-every"_s, u"2"_s});
    QList<Tree> states;
    Backup(u"Docs"_s); // A: full
    states.append(TreeContents(Src()));
    WriteFileBytes(Src(u"Docs/a.txt"_s), "a2 changed");
    Backup(u"Docs"_s); // B: incremental
    states.append(TreeContents(Src()));
    ASSERT_TRUE(QFile::remove(Src(u"Docs/a.txt"_s)));
    ASSERT_TRUE(QDir(Src(u"Docs/Sub"_s)).removeRecursively());
    Backup(u"Docs"_s); // C: incremental
    states.append(TreeContents(Src()));
    WriteFileBytes(Src(u"Docs/d.txt"_s), "d");
    Backup(u"Docs"_s); // D: full again after two increments
    states.append(TreeContents(Src()));
    WriteFileBytes(Src(u"Docs/b.txt"_s), "b2 changed");
    Backup(u"Docs"_s); // E: incremental
    states.append(TreeContents(Src()));

    const QStringList points = Ok({u"points"_s, u"Docs"_s}).out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(points.size(), 5);
    const char* const kinds[] = {"(Full)", "(Incremental)", "(Incremental)", "(Full)", "(Incremental)"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(points[i].startsWith(QString::number(i + 1) + u'\t')) << points[i].toStdString();
        EXPECT_TRUE(points[i].endsWith(QString::fromLatin1(kinds[i]))) << points[i].toStdString();
        EXPECT_FALSE(points[i].contains(u';'));
    }
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i + 1);
        FreshOutput();
        const CliRun run =
            Run({u"restore"_s, u"Docs"_s, u"--to"_s, Out(), u"--point"_s, QString::number(i + 1)});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.contains(u"Restore job \"Docs\" is finished."_s)) << run.out.toStdString();
        EXPECT_EQ(TreeContents(Out()), states[i]);
    }
    FreshOutput();
    Ok({u"restore"_s, u"Docs"_s, u"--to"_s, Out(), u"--latest"_s});
    EXPECT_EQ(TreeContents(Out()), states[4]);

    const QStringList history = Ok({u"history"_s, u"Docs"_s}).out.split(u'\n', Qt::SkipEmptyParts);
    EXPECT_TRUE(history.last().endsWith(u": Restore job is finished."_s)) << history.last().toStdString();
    const QString log = Ok({u"log"_s, u"Docs"_s}).out;
    EXPECT_TRUE(log.contains(u"Restore job \"Docs\" is finished."_s)) << log.toStdString();
}

TEST_F(CliRunTest, RestoreRefusesListEntriesThatLeaveTheOutputFolder) {
    WriteFileBytes(Src(u"Docs/a.txt"_s), "a");
    WriteFileBytes(HomePath(u"x"_s), "outside, must stay");
    Ok({u"new"_s, u"Docs"_s, u"--source"_s, Src(u"Docs"_s), u"--dest"_s, Dest()});
    Backup(u"Docs"_s);
    const QString point = Dest(u"Docs/"_s + PointFolders(u"Docs"_s).first());
    WriteFileBytes(point + u"/x"_s, "hostile");
    QStringList files = SplitTextLines(testing::ReadFileBytes(point + u"/_rf.qkl"_s));
    files << u"../x"_s << u"/etc/x"_s;
    ASSERT_TRUE(WriteTextFileLines(point + u"/_rf.qkl"_s, files));
    ASSERT_TRUE(WriteTextFileLines(point + u"/_rrf.qkl"_s, {u"../../x"_s}));

    const CliRun run = Run({u"restore"_s, u"Docs"_s, u"--to"_s, Out(), u"--latest"_s});
    EXPECT_EQ(run.exitCode, 1) << run.out.toStdString() << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(u"Restore job \"Docs\" is finished with errors."_s));
    EXPECT_EQ(TreeContents(Out()), (Tree{{u"Docs/a.txt"_s, "a"}}));
    EXPECT_EQ(testing::ReadFileBytes(HomePath(u"x"_s)), "outside, must stay");
    const QString log = Ok({u"log"_s, u"Docs"_s}).out;
    for (const QString& entry : {u"../x"_s, u"/etc/x"_s, u"../../x"_s})
        EXPECT_TRUE(
            log.contains(u"ERROR: The entry leads outside the output folder and is skipped: "_s + entry))
            << log.toStdString();
}

TEST_F(CliRunTest, MirrorRestoresItsLastRunAndRefusesWhenUnfinished) {
    WriteFileBytes(Src(u"Docs/a.txt"_s), "a");
    WriteFileBytes(Src(u"Docs/Sub/c.txt"_s), "c");
    Ok({u"new"_s, u"Mirror"_s, u"--source"_s, Src(u"Docs"_s), u"--dest"_s, Dest(), u"--type"_s, u"mirror"_s});
    Backup(u"Mirror"_s);
    EXPECT_EQ(Ok({u"points"_s, u"Mirror"_s}).out, u"mirror\n");
    Ok({u"restore"_s, u"Mirror"_s, u"--to"_s, Out()});
    EXPECT_EQ(TreeContents(Out()), TreeContents(Src()));

    FreshOutput();
    WriteFileBytes(Dest(u"Mirror/_startflag.qkl"_s), "\xEF\xBB\xBF");
    const CliRun run = Run({u"restore"_s, u"Mirror"_s, u"--to"_s, Out()});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(
        run.err.contains(u"Last backup job was cancelled, so Morvane Backup is not able to restore your "
                         u"files. Please copy the backup folder \"Mirror\" from the storage manually."_s))
        << run.err.toStdString();
    EXPECT_TRUE(TreeContents(Out()).isEmpty());
}

TEST_F(CliRunTest, ImportAndRemoveFollowTheJobCommands) {
    WriteFileBytes(Src(u"Docs/a.txt"_s), "a");
    Ok({u"new"_s, u"Docs"_s, u"--source"_s, Src(u"Docs"_s), u"--dest"_s, Dest(), u"--keep"_s, u"4"_s});
    Backup(u"Docs"_s);
    const QString copy = Dest(u"Docs.bmj"_s);

    CliRun run = Run({u"import"_s, copy});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(u"Job \"Docs\" already exists."_s)) << run.err.toStdString();

    run = Ok({u"remove"_s, u"Docs"_s});
    EXPECT_TRUE(run.out.contains(u"Job is removed."_s));
    EXPECT_TRUE(QFile::exists(copy)) << "without --with-backups the storage stays";
    EXPECT_FALSE(QFile::exists(AppDir() + u"/Docs.qkd"_s));

    run = Ok({u"import"_s, copy});
    EXPECT_TRUE(run.out.contains(u"Job is open: \"Docs\"."_s));
    const QJsonObject imported = Show(u"Docs"_s);
    EXPECT_EQ(imported[u"Settings"_s][u"Backup"_s][u"NumberFullCopiesToKeep"_s].toInt(), 4);
    EXPECT_EQ(imported[u"SchedulingSettings"_s][u"SchedulingType"_s].toString(), u"stDisabled");
    EXPECT_EQ(Ok({u"points"_s, u"Docs"_s}).out.count(u'\n'), 1);

    struct Case {
        QStringList arguments;
        int exitCode;
        QString message;
    };
    WriteFileBytes(Dest(u"broken.bmj"_s), "not a job");
    const Case failures[] = {
        {{u"import"_s, Dest(u"missing.bmj"_s)}, 1, u"Unable to open the job file from the backup storage."_s},
        {{u"import"_s, Dest(u"broken.bmj"_s)}, 1, u"Unable to open the job file from the backup storage."_s},
        {{u"import"_s, Src(u"Docs/a.txt"_s)}, 64, u"import takes the path of a job's storage copy (.bmj)."_s},
        {{u"remove"_s, u"Nope"_s}, 2, u"Job \"Nope\" is not found."_s},
    };
    for (const Case& c : failures) {
        const CliRun failed = Run(c.arguments);
        EXPECT_EQ(failed.exitCode, c.exitCode) << c.arguments.join(u' ').toStdString();
        EXPECT_TRUE(failed.err.contains(c.message)) << failed.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(AppDir() + u"/broken.qkd"_s));

    run = Ok({u"remove"_s, u"Docs"_s, u"--with-backups"_s});
    EXPECT_TRUE(
        run.out.contains(u"The backup folder has been removed successfully on the storage device."_s));
    EXPECT_FALSE(QFile::exists(copy));
    EXPECT_FALSE(QDir(Dest(u"Docs"_s)).exists());
    EXPECT_TRUE(Ok({u"list"_s}).out.isEmpty());
}

TEST_F(CliRunTest, EveryCommandSaysWhyItFails) {
    WriteFileBytes(Src(u"Docs/a.txt"_s), "a");
    Ok({u"new"_s, u"Docs"_s, u"--source"_s, Src(u"Docs"_s), u"--dest"_s, Dest()});
    struct Case {
        QStringList arguments;
        int exitCode;
        QString message;
    };
    const Case cases[] = {
        {{u"backup"_s, u"Nope"_s}, 2, u"Job \"Nope\" is not found."_s},
        {{u"points"_s, u"Nope"_s}, 2, u"Job \"Nope\" is not found."_s},
        {{u"history"_s, u"Nope"_s}, 2, u"Job \"Nope\" is not found."_s},
        {{u"log"_s, u"Docs"_s}, 1, u"The job has no run logs."_s},
        {{u"points"_s, u"Docs"_s},
         1,
         u"Unable to copy the job file \"Docs.bmj\" from the backup directory."_s},
        {{u"restore"_s, u"Docs"_s}, 64, u"restore needs --to DIR."_s},
        {{u"restore"_s, u"Docs"_s, u"--to"_s, Out(), u"--point"_s, u"x"_s},
         64,
         u"--point takes the number"_s},
        {{u"restore"_s, u"Docs"_s, u"--to"_s, Out(u"missing"_s), u"--latest"_s},
         2,
         u"The output folder does not exist"_s},
        {{u"backup"_s}, 64, u"backup: wrong number of arguments."_s},
    };
    for (const Case& c : cases) {
        const CliRun run = Run(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments.join(u' ').toStdString();
        EXPECT_TRUE(run.err.contains(c.message))
            << c.arguments.join(u' ').toStdString() << ": " << run.err.toStdString();
    }

    Backup(u"Docs"_s);
    CliRun run = Run({u"restore"_s, u"Docs"_s, u"--to"_s, Out(), u"--point"_s, u"7"_s});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.err.contains(u"Choose a restore point with --point N (1 to 1) or --latest."_s))
        << run.err.toStdString();
    EXPECT_TRUE(Ok({u"history"_s, u"Docs"_s}).out.trimmed().endsWith(u"Restore is cancelled."_s));
    run = Run({u"log"_s, u"Docs"_s, u"2001-01-01 00:00:00"_s});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains(u"No run log of the job has the stamp 2001-01-01 00:00:00."_s));
}

TEST_F(CliRunTest, AnInterruptCancelsTheBackupAndLetsItClose) {
    for (int i = 0; i < 15000; ++i)
        WriteFileBytes(Src(u"Many/f"_s + QString::number(i) + u".txt"_s), QByteArray::number(i));
    Ok({u"new"_s, u"Many"_s, u"--source"_s, Src(u"Many"_s), u"--dest"_s, Dest(), u"--type"_s, u"full"_s});
    QProcess process;
    process.start(QStringLiteral(MORVANE_CLI_PATH), {u"backup"_s, u"Many"_s});
    ASSERT_TRUE(process.waitForStarted());
    // Plain output shows a line per file; the first one means the copying has begun.
    ASSERT_TRUE(process.waitForReadyRead(30000));
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 2);
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(out.contains(u"\"Many\" backup is cancelled."_s)) << out.right(500).toStdString();
    EXPECT_TRUE(Ok({u"history"_s, u"Many"_s}).out.trimmed().endsWith(u"Backup is cancelled."_s));
    EXPECT_TRUE(Ok({u"log"_s, u"Many"_s}).out.contains(u"Backup is cancelled."_s));
}

// A run whose storage refuses every write says on its progress output that it waits for a retry, and
// SIGTERM ends that wait at once. The storage is a folder the run may not write to; a root run is made
// an ordinary user's, for whom the folder's mode holds.
TEST_F(CliRunTest, TerminationEndsTheWaitBeforeARetryAtOnce) {
    WriteFileBytes(Src(u"Docs/a.txt"_s), "a");
    Ok({u"new"_s, u"Docs"_s, u"--source"_s, Src(u"Docs"_s), u"--dest"_s, Dest()});
    ASSERT_EQ(::chmod(QFile::encodeName(Dest()).constData(), 0555), 0);
    QProcess process;
    constexpr uid_t nobody = 65534;
    if (::geteuid() == 0) {
        const QString home = QFileInfo(Src()).absolutePath();
        ASSERT_EQ(::chown(QFile::encodeName(home).constData(), nobody, nobody), 0);
        QDirIterator it(home, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path != Dest()) {
                ASSERT_EQ(::lchown(QFile::encodeName(path).constData(), nobody, nobody), 0);
            }
        }
        process.setChildProcessModifier([] {
            if (::setgroups(0, nullptr) != 0 || ::setresgid(nobody, nobody, nobody) != 0 ||
                ::setresuid(nobody, nobody, nobody) != 0)
                ::_exit(99);
        });
    }
    process.start(QStringLiteral(MORVANE_CLI_PATH), {u"backup"_s, u"Docs"_s});
    ASSERT_TRUE(process.waitForStarted());
    QString out;
    QElapsedTimer waited;
    waited.start();
    while (!out.contains(u"Retry after 60 seconds."_s) && waited.elapsed() < 30000 &&
           process.state() == QProcess::Running) {
        process.waitForReadyRead(200);
        out += QString::fromUtf8(process.readAllStandardOutput());
    }
    ASSERT_TRUE(
        QRegularExpression(u"Retry after 60 seconds\\. /\\S*_startflag\\.qkl\\n"_s).match(out).hasMatch())
        << out.toStdString() << process.readAllStandardError().toStdString();
    QElapsedTimer stopping;
    stopping.start();
    ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(60000));
    // The wait is a minute long; ending it takes a few polls of the cancel.
    EXPECT_LT(stopping.elapsed(), 10000);
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 2);
    out += QString::fromUtf8(process.readAllStandardOutput());
    EXPECT_TRUE(out.contains(u"\"Docs\" backup is cancelled."_s)) << out.toStdString();
}

} // namespace
} // namespace morvane
