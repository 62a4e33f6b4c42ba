// What a backup run leaves on the storage when runs come quickly, stop half-way or repeat: every listed
// point stays restorable, and what a stopped run left behind is recovered or removed.

#include "engine/backup_fixture.h"
#include "engine/restore_run.h"
#include "formats/events_log.h"
#include "jobs/run_log.h"
#include "options/options.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::ReadFileBytes;
using testing::TreeContents;
using testing::WriteFileBytes;
using Tree = QMap<QString, QByteArray>;

const QByteArray Bom = "\xEF\xBB\xBF";

class BackupRecoveryTest : public testing::BackupTest {
protected:
    void SetUp() override {
        BackupTest::SetUp();
        job->Settings.Sources.List = {Source(u"Docs/*"_s)};
        WriteSource(u"Docs/A.txt"_s, "v1");
    }

    // A run that starts in the same second as the one before it.
    void RunBackupInTheSameSecond() {
        job->Backup();
        job->WaitForWorker();
    }

    TRestorePoints Points() {
        TRestorePoints points;
        EXPECT_EQ(ReadRestorePoints(*job, points), QString());
        return points;
    }

    // The files a restore of the point at `index` writes into an empty output folder.
    Tree Restored(int index) {
        const QString output = HomePath(u"out"_s);
        QDir(output).removeRecursively();
        EXPECT_TRUE(QDir().mkpath(output));
        const TRestorePoints points = Points();
        job->LastJobResult.Cancelled = false;
        job->LastJobResult.Log.clear();
        job->RestoreInThread(output, QString(), index, points.Chain);
        EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
        return TreeContents(output);
    }

    QString StartFlag() const { return JobFolder(u"_startflag.qkl"_s); }
    bool LogSays(const QString& text) const { return LogText().contains(text); }
};

TEST_F(BackupRecoveryTest, RunsInOneSecondGetPointsAndLogsOfTheirOwn) {
    job->Settings.Backup.BackupType = btInc;
    RunBackup();
    WriteSource(u"Docs/A.txt"_s, "v2", 60);
    RunBackupInTheSameSecond();
    WriteSource(u"Docs/B.txt"_s, "new", 120);
    RunBackupInTheSameSecond();

    const QStringList names = Points().Names;
    ASSERT_EQ(names.size(), 3);
    EXPECT_EQ(QSet<QString>(names.begin(), names.end()).size(), 3) << names.join(u", "_s).toStdString();
    EXPECT_EQ(Restored(2), (Tree{{u"Docs/A.txt"_s, "v2"}, {u"Docs/B.txt"_s, "new"}}));
    EXPECT_EQ(Restored(1), (Tree{{u"Docs/A.txt"_s, "v2"}}));
    EXPECT_EQ(Restored(0), (Tree{{u"Docs/A.txt"_s, "v1"}}));
    // Three backups and three restores, each with its own log.
    EXPECT_EQ(QSet<QString>(job->LogList.begin(), job->LogList.end()).size(), 6);
    EXPECT_EQ(QDir(JobLogFolder(*job)).entryList(QDir::Files).size(), 6);
}

TEST_F(BackupRecoveryTest, ARestoreInTheSameSecondKeepsTheBackupsLog) {
    RunBackupInTheSameSecond();
    const QString backupLog = RunLogFilePath(*job, job->LogList.last());
    Restored(0);
    ASSERT_EQ(job->LogList.size(), 2);
    EXPECT_NE(job->LogList[0], job->LogList[1]);
    EXPECT_TRUE(QString::fromUtf8(ReadFileBytes(backupLog)).contains(u"Backup job \"Docs\" is finished."_s));
}

// A run stopped after its storage copy was written but before its flag was removed is complete.
TEST_F(BackupRecoveryTest, AFlagLeftByACompletedRunKeepsItsPoint) {
    for (const bool removeCancelled : {false, true}) {
        SCOPED_TRACE(removeCancelled);
        ASSERT_TRUE(QDir(Dest()).removeRecursively());
        ASSERT_TRUE(QDir().mkpath(Dest()));
        job->Settings.Backup.BackupType = btInc;
        GlobalOptions().Processing.RemovePreviousBackupIfCancelled = removeCancelled;
        WriteSource(u"Docs/A.txt"_s, "v1");
        RunBackup();
        WriteSource(u"Docs/A.txt"_s, "v2", 60);
        RunBackup();
        const QString completed = MainBackupList().last();
        WriteFileBytes(StartFlag(), Bom + completed.toUtf8() + "\r\n");

        RunBackup();
        EXPECT_FALSE(LogSays(u"The previous backup has been cancelled"_s)) << LogText().toStdString();
        EXPECT_EQ(job->LastJobResult.WarningsCount, 0);
        EXPECT_TRUE(Points().Names.contains(completed));
        EXPECT_TRUE(QFileInfo(JobFolder(completed)).isDir());
        EXPECT_EQ(Restored(1), (Tree{{u"Docs/A.txt"_s, "v2"}}));
    }
}

TEST_F(BackupRecoveryTest, AMirrorsFlagCountsAsCompleteOnlyWithTheStoredCopysCommit) {
    job->Settings.Backup.BackupType = btSync;
    RunBackup();
    WriteSource(u"Docs/A.txt"_s, "v2", 60);
    RunBackup();
    const QByteArray stored = ReadFileBytes(Dest(u"Docs.bmj"_s));
    const QByteArray digest = QCryptographicHash::hash(stored, QCryptographicHash::Sha256).toHex();
    const struct {
        const char* name;
        QByteArray flag;
        bool complete;
    } cases[] = {
        {"commit of the stored copy", Bom + "\r\ncommit " + digest + "\r\n", true},
        {"no commit", Bom, false},
        {"commit of another copy", Bom + "\r\ncommit " + QByteArray(64, '0') + "\r\n", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(StartFlag(), c.flag);
        EXPECT_EQ(Points().UnfinishedMirror, !c.complete);
        RunBackup();
        EXPECT_EQ(LogSays(u"The previous backup has been cancelled"_s), !c.complete);
        EXPECT_EQ(job->CurrentBackupFilesProcessed, c.complete ? 0 : 1); // an unfinished mirror is redone
        EXPECT_FALSE(QFileInfo::exists(StartFlag()));
        EXPECT_EQ(Restored(0), (Tree{{u"Docs/A.txt"_s, "v2"}}));
    }
}

TEST_F(BackupRecoveryTest, LeftoversOfStoppedRunsAreRemovedAndNothingElse) {
    job->Settings.Backup.BackupType = btInc;
    RunBackup();
    const QString unlisted = u"2024-03-01 10;00;00 (Full)"_s;
    const QString cancelled = u"2024-03-02 10;00;00 (Full) CANCELED"_s;
    const QString hex = u"0123456789abcdef"_s;
    const QStringList removed = {JobFolder(unlisted),
                                 JobFolder(u"_startflag.qkl.morvane-"_s + hex + u".part"_s),
                                 Dest(u"Docs.bmj.morvane-"_s + hex + u".part"_s)};
    const QStringList kept = {JobFolder(cancelled), JobFolder(u"2024-03-01 10;00;00 (Full) copy"_s),
                              Dest(u"Other.bmj.morvane-"_s + hex + u".part"_s)};
    WriteFileBytes(JobFolder(unlisted + u"/Docs/old.txt"_s), "partly pruned");
    WriteFileBytes(removed[1], "half a flag");
    WriteFileBytes(removed[2], "half a job copy");
    WriteFileBytes(JobFolder(cancelled + u"/Docs/A.txt"_s), "set aside");
    WriteFileBytes(JobFolder(u"2024-03-01 10;00;00 (Full) copy/x"_s), "the user's");
    WriteFileBytes(kept[2], "another job's");

    RunBackup();
    EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
    for (const QString& path : removed)
        EXPECT_FALSE(QFileInfo::exists(path)) << path.toStdString();
    for (const QString& path : kept)
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    EXPECT_FALSE(Points().Names.contains(unlisted));
}

// The first run of a chain stopped after making its folder and before writing its flag: nothing names the
// folder, so the next run removes it, and leaves what is not a run folder.
TEST_F(BackupRecoveryTest, AFirstRunStoppedBeforeItsFlagLeavesNothingBehind) {
    job->Settings.Backup.BackupType = btInc;
    const QString stopped = u"2024-03-01 10;00;00 (Full)"_s;
    const QString other = u"2024-03-01 10;00;00 (Full) copy"_s;
    WriteFileBytes(JobFolder(stopped + u"/Docs/A.txt"_s), "half");
    WriteFileBytes(JobFolder(other + u"/x"_s), "the user's");

    RunBackup();
    EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
    EXPECT_FALSE(QFileInfo::exists(JobFolder(stopped)));
    EXPECT_TRUE(QFileInfo::exists(JobFolder(other + u"/x"_s)));
    EXPECT_EQ(Points().Names.size(), 1);
    EXPECT_EQ(Restored(0), (Tree{{u"Docs/A.txt"_s, "v1"}}));
}

// Pruning before the run, then a run that does not finish: the deleted points are never listed and the
// run says that nothing complete is left.
TEST_F(BackupRecoveryTest, PruningBeforeAnUnfinishedRunListsNoDeletedPoint) {
    job->Settings.Backup.BackupType = btInc;
    job->Settings.Backup.PerformFullBackup_EveryCopies = 1;
    job->Settings.Backup.NumberFullCopiesToKeep = 1;
    job->Settings.Backup.RemoveOldBackupsBeforeStartingNewBackup = true;
    RunBackup();
    RunBackup();
    ASSERT_EQ(MainBackupList().size(), 3);
    // The start flag cannot be written: the run stops after the pruning.
    ASSERT_TRUE(QDir().mkpath(StartFlag()));
    TakeEventTexts();
    RunBackup();
    ASSERT_TRUE(job->LastJobResult.Cancelled);
    for (const QString& name : Points().Names)
        EXPECT_TRUE(QFileInfo(JobFolder(name)).isDir()) << name.toStdString();
    const QString loud = u"No complete backup of the job \"Docs\" is left on the storage."_s;
    EXPECT_TRUE(LogSays(u"ERROR: "_s + loud)) << LogText().toStdString();
    EXPECT_TRUE(TakeEventTexts().filter(loud).size() == 1);

    ASSERT_TRUE(QDir(StartFlag()).removeRecursively());
    RunBackup();
    EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
    const QStringList names = Points().Names;
    ASSERT_EQ(names.size(), 1);
    EXPECT_EQ(Restored(0), (Tree{{u"Docs/A.txt"_s, "v1"}}));
}

} // namespace
} // namespace morvane
