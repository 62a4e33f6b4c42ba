// The real morvane-cli with the storage failing one chosen operation (through MORVANE_FAULT): a job
// file of the job's that is on the storage but cannot be read never passes for a missing one.

#include "cli/cli_job_fixture.h"

#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::CliRun;
using testing::TreeContents;
using testing::WriteFileBytes;

class CliStorageFaultsTest : public testing::CliJobTest {
protected:
    CliRun BackupWithFault(const QString& job, const QString& fault) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"MORVANE_FAULT"_s, fault);
        return RunIn(environment, {u"backup"_s, job});
    }
};

// The first copy of a run reads the storage copy of the job, the second its start flag; the flag is
// there when the previous run was stopped.
TEST_F(CliStorageFaultsTest, AnUnreadableJobFileOnTheStorageEndsTheRunAndKeepsEveryPoint) {
    const struct {
        const char* fault;
        const char* stored; // the file the failed copy reads
        bool interrupted;
    } cases[] = {{"copy:1:EIO", "Docs.bmj", false}, {"copy:2:EIO", "Docs/_startflag.qkl", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        ASSERT_TRUE(QDir(Dest()).removeRecursively() && QDir(Src()).removeRecursively());
        Run({u"remove"_s, u"Docs"_s});
        WriteFileBytes(Src(u"Docs/a.txt"_s), "v1");
        Ok({u"new"_s, u"Docs"_s, u"--source"_s, Src(u"Docs"_s), u"--dest"_s, Dest()});
        Backup(u"Docs"_s);
        if (c.interrupted) {
            // As a run stopped after making its folder leaves the storage.
            const QString stopped = u"2020-01-01 00;00;00 (Incremental)"_s;
            ASSERT_TRUE(QDir().mkpath(Dest(u"Docs/"_s + stopped)));
            WriteFileBytes(Dest(u"Docs/_startflag.qkl"_s), "\xEF\xBB\xBF" + stopped.toUtf8() + "\r\n");
        }
        const QStringList points = Run({u"points"_s, u"Docs"_s}).out.split(u'\n', Qt::SkipEmptyParts);
        WriteFileBytes(Src(u"Docs/b.txt"_s), "new");

        const CliRun failed = BackupWithFault(u"Docs"_s, QString::fromLatin1(c.fault));
        EXPECT_NE(failed.exitCode, 0) << failed.out.toStdString();
        const CliRun log = Ok({u"log"_s, u"Docs"_s});
        EXPECT_TRUE(log.out.contains(u"Unable to read the file: "_s + Dest(QString::fromLatin1(c.stored))))
            << log.out.toStdString();
        EXPECT_EQ(Run({u"points"_s, u"Docs"_s}).out.split(u'\n', Qt::SkipEmptyParts), points);

        // The next run completes (with a warning about the stopped run, where there was one).
        QThread::msleep(1100);
        Ok({u"backup"_s, u"Docs"_s});
        FreshOutput();
        Ok({u"restore"_s, u"Docs"_s, u"--to"_s, Out(), u"--point"_s, u"1"_s});
        EXPECT_EQ(TreeContents(Out(u"Docs"_s)), (QMap<QString, QByteArray>{{u"a.txt"_s, "v1"}}));
    }
}

} // namespace
} // namespace morvane
