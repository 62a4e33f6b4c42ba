// The real morvane-cli killed at exact storage calls of a backup run (by the system tracer's fault
// injection): the stopped run's point is kept or dropped whole, and every listed point restores.

#include "cli/cli_job_fixture.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::CliRun;
using testing::ReadFileBytes;
using testing::TreeContents;
using testing::WriteFileBytes;
using Tree = QMap<QString, QByteArray>;

class CliRecoveryTest : public testing::CliJobTest {
protected:
    void SetUp() override {
        CliJobTest::SetUp();
        tracer_ = QStandardPaths::findExecutable(u"strace"_s);
        if (tracer_.isEmpty() ||
            QProcess::execute(tracer_, {u"-qq"_s, u"-o"_s, u"/dev/null"_s, u"true"_s}) != 0)
            GTEST_SKIP() << "the system tracer is not available here";
    }

    // Runs "backup <job>" under the tracer with the given filter and injection; true when the injection
    // killed it, false when the run ended by itself.
    bool BackupKilledAt(const QString& job, const QStringList& tracerArguments) {
        QProcess process;
        process.setProcessEnvironment(TracedEnvironment());
        process.start(tracer_, QStringList{u"-f"_s, u"-qq"_s, u"-o"_s, u"/dev/null"_s} + tracerArguments +
                                   QStringList{QStringLiteral(MORVANE_CLI_PATH), u"backup"_s, job});
        EXPECT_TRUE(process.waitForFinished(60000));
        return process.exitStatus() == QProcess::CrashExit || process.exitCode() != 0;
    }

    // The leak checker of a sanitizer build cannot work in a traced program and ends it with an error,
    // so traced runs go without it.
    static QProcessEnvironment TracedEnvironment() {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        const QString options = environment.value(u"ASAN_OPTIONS"_s);
        environment.insert(u"ASAN_OPTIONS"_s,
                           options.isEmpty() ? u"detect_leaks=0"_s : options + u":detect_leaks=0"_s);
        return environment;
    }

    QStringList Points(const QString& job) {
        const CliRun run = Run({u"points"_s, job});
        return run.out.split(u'\n', Qt::SkipEmptyParts);
    }

    // Restores every listed point, the latest one last, into the output folder; each must succeed.
    void RestoreEveryPoint(const QString& job) {
        const qsizetype count = Points(job).size();
        for (qsizetype i = 1; i < count; ++i) {
            FreshOutput();
            const CliRun run = Run({u"restore"_s, job, u"--to"_s, Out(), u"--point"_s, QString::number(i)});
            EXPECT_EQ(run.exitCode, 0) << "point " << i << "\n" << run.out.toStdString();
        }
        FreshOutput();
        const CliRun run = Run({u"restore"_s, job, u"--to"_s, Out(), u"--latest"_s});
        EXPECT_EQ(run.exitCode, 0) << run.out.toStdString() << run.err.toStdString();
    }

    // Backup folders on the storage that no run set aside.
    qsizetype RunFolders(const QString& job) const {
        return PointFolders(job).filter(u")"_s).size() - PointFolders(job).filter(u" CANCELED"_s).size();
    }

    QString tracer_;
};

// Killed after the storage copy recorded the run, just before its start flag went: the next run keeps the
// point instead of condemning it.
TEST_F(CliRecoveryTest, AKillAtTheFlagsRemovalKeepsTheCompletedPoint) {
    const struct {
        const char* type;
        QStringList extra;
    } cases[] = {{"incremental", {}}, {"full", {u"--keep"_s, u"1"_s}}, {"mirror", {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        const QString job = QString::fromLatin1(c.type);
        WriteFileBytes(Src(job + u"/a.txt"_s), "v1");
        Ok(QStringList{u"new"_s, job, u"--source"_s, Src(job), u"--dest"_s, Dest(), u"--type"_s, job} +
           c.extra);
        Ok({u"backup"_s, job});
        WriteFileBytes(Src(job + u"/a.txt"_s), "v2, longer");
        const QString flag = Dest(job + u"/_startflag.qkl"_s);
        ASSERT_TRUE(BackupKilledAt(job, {u"-P"_s, flag, u"-e"_s, u"trace=unlinkat,unlink"_s, u"-e"_s,
                                         u"inject=unlinkat,unlink:signal=KILL"_s}));
        ASSERT_TRUE(QFile::exists(flag));
        const Tree expected = TreeContents(Src(job));
        RestoreEveryPoint(job);
        EXPECT_EQ(TreeContents(Out(job)), expected);

        const CliRun next = Ok({u"backup"_s, job});
        EXPECT_FALSE(next.out.contains(u"cancelled"_s)) << next.out.toStdString();
        EXPECT_TRUE(next.out.contains(u"\" is finished. Files copied: "_s)) << next.out.toStdString();
        EXPECT_FALSE(QFile::exists(flag));
        RestoreEveryPoint(job);
        EXPECT_EQ(TreeContents(Out(job)), expected);
        if (job != u"mirror") {
            EXPECT_EQ(RunFolders(job), Points(job).size());
        }
    }
}

// Every storage call that names, replaces or deletes something during a run that prunes the previous full
// copy, killed in turn: after one more run the storage holds exactly the listed points, each restorable.
// An interrupted mirror is removed before the run copies afresh: killed as it deletes the job copy, the
// storage still holds the whole mirror that copy describes.
TEST_F(CliRecoveryTest, RemovingAnInterruptedMirrorDeletesItsJobCopyFirst) {
    WriteFileBytes(Src(u"Docs/a.txt"_s), "v1");
    Ok({u"new"_s, u"Docs"_s, u"--source"_s, Src(u"Docs"_s), u"--dest"_s, Dest(), u"--type"_s, u"mirror"_s});
    Ok({u"backup"_s, u"Docs"_s});
    WriteFileBytes(Dest(u"Docs/_startflag.qkl"_s), "\xEF\xBB\xBF");
    const QString storageCopy = Dest(u"Docs.bmj"_s);
    ASSERT_TRUE(BackupKilledAt(u"Docs"_s, {u"-P"_s, storageCopy, u"-e"_s, u"trace=unlinkat,unlink"_s, u"-e"_s,
                                           u"inject=unlinkat,unlink:signal=KILL"_s}));
    ASSERT_TRUE(QFile::exists(storageCopy));
    EXPECT_EQ(TreeContents(Dest(u"Docs/Docs"_s)), TreeContents(Src(u"Docs"_s)));

    Ok({u"backup"_s, u"Docs"_s});
    RestoreEveryPoint(u"Docs"_s);
    EXPECT_EQ(TreeContents(Out(u"Docs"_s)), TreeContents(Src(u"Docs"_s)));
}

// The run's files are durable before the job copy names them, and the job copy before the flag goes.
TEST_F(CliRecoveryTest, TheStorageIsFlushedBeforeTheJobCopyNamesTheRunAndBeforeTheFlagGoes) {
    WriteFileBytes(Src(u"Docs/a.txt"_s), "v1");
    Ok({u"new"_s, u"Docs"_s, u"--source"_s, Src(u"Docs"_s), u"--dest"_s, Dest()});
    Ok({u"backup"_s, u"Docs"_s});
    WriteFileBytes(Src(u"Docs/a.txt"_s), "v2");
    const QString trace = HomePath(u"trace.txt"_s);
    QProcess process;
    process.setProcessEnvironment(TracedEnvironment());
    process.start(tracer_, {u"-f"_s, u"-qq"_s, u"-o"_s, trace, u"-e"_s,
                            u"trace=syncfs,linkat,renameat,renameat2,unlinkat"_s,
                            QStringLiteral(MORVANE_CLI_PATH), u"backup"_s, u"Docs"_s});
    ASSERT_TRUE(process.waitForFinished(60000));
    ASSERT_EQ(process.exitCode(), 0);
    const QStringList lines = QString::fromUtf8(ReadFileBytes(trace)).split(u'\n');
    const auto firstIndex = [&](const QString& call, const QString& path) {
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (lines[i].contains(call + u'(') && lines[i].contains(u'"' + path + u'"') &&
                lines[i].endsWith(u"= 0"_s))
                return i;
        return qsizetype(-1);
    };
    // The job copy is put in place by a rename of its passing name or a link of an unnamed file.
    qsizetype storageCopy = -1;
    for (const QString& call : {u"renameat"_s, u"renameat2"_s, u"linkat"_s})
        if (const qsizetype at = firstIndex(call, Dest(u"Docs.bmj"_s));
            at >= 0 && (storageCopy < 0 || at < storageCopy))
            storageCopy = at;
    const qsizetype flagRemoved = firstIndex(u"unlinkat"_s, Dest(u"Docs/_startflag.qkl"_s));
    ASSERT_GE(storageCopy, 0);
    ASSERT_GT(flagRemoved, storageCopy);
    const auto flushedBetween = [&](qsizetype from, qsizetype to) {
        for (qsizetype i = from; i < to; ++i)
            if (lines[i].contains(u"syncfs("_s) && lines[i].endsWith(u"= 0"_s))
                return true;
        return false;
    };
    EXPECT_TRUE(flushedBetween(0, storageCopy));
    EXPECT_TRUE(flushedBetween(storageCopy, flagRemoved));
}

// Pruning after the run and before it: with the old points removed first, a stopped run may leave no point,
// never a listed point that is gone.
TEST_F(CliRecoveryTest, AKillAtAnyCommitOrPruneStepLeavesEveryListedPointRestorable) {
    for (const bool pruneBefore : {false, true}) {
        SCOPED_TRACE(pruneBefore ? "pruning before the run" : "pruning after the run");
        for (int when = 1;; ++when) {
            ASSERT_LT(when, 300) << "the run never ended by itself";
            SCOPED_TRACE(when);
            const QString job = (pruneBefore ? u"B"_s : u"A"_s) + QString::number(when);
            WriteFileBytes(Src(job + u"/a.txt"_s), "v1");
            QStringList create = {u"new"_s, job,         u"--source"_s, Src(job),    u"--dest"_s,
                                  Dest(),   u"--type"_s, u"full"_s,     u"--keep"_s, u"1"_s};
            if (pruneBefore)
                create.append(u"--prune-before"_s);
            Ok(create);
            Ok({u"backup"_s, job});
            WriteFileBytes(Src(job + u"/b.txt"_s), "new");
            const QString calls = u"unlinkat,renameat,renameat2,linkat"_s;
            const bool killed =
                BackupKilledAt(job, {u"-e"_s, u"trace="_s + calls, u"-e"_s,
                                     u"inject="_s + calls + u":signal=KILL:when="_s + QString::number(when)});
            if (!Points(job).isEmpty()) {
                RestoreEveryPoint(job);
                const Tree latest = TreeContents(Out(job));
                const Tree before = {{u"a.txt"_s, "v1"}};
                EXPECT_TRUE(latest == TreeContents(Src(job)) || latest == before);
            }

            Ok({u"backup"_s, job});
            RestoreEveryPoint(job);
            EXPECT_EQ(TreeContents(Out(job)), TreeContents(Src(job)));
            EXPECT_EQ(RunFolders(job), Points(job).size()) << PointFolders(job).join(u", "_s).toStdString();
            const QStringList leftovers = QDir(Dest()).entryList({job + u".bmj.*"_s}, QDir::Files) +
                                          QDir(Dest(job)).entryList({u"*.part"_s}, QDir::Files);
            EXPECT_TRUE(leftovers.isEmpty()) << leftovers.join(u", "_s).toStdString();
            if (!killed) {
                EXPECT_GT(when, 10) << "the tracer killed too few calls to walk the run";
                break;
            }
        }
    }
}

} // namespace
} // namespace morvane
