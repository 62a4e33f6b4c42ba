// Backups of sources that change in ways a plain comparison of last-write times misses or mishandles,
// each restored again and compared with the source as it was at its run.

#include "engine/backup_fixture.h"
#include "engine/restore_dialogs.h"
#include "jobs/job_file.h"
#include "options/options.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <thread>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using Tree = QMap<QString, QByteArray>;
using testing::ReadFileBytes;
using testing::StoredFiles;
using testing::TreeContents;
using testing::WriteFileBytes;

// Chooses the output folder and one restore point.
class PointDialogs final : public TRestoreDialogs {
public:
    PointDialogs(QString output, int point) : output_(std::move(output)), point_(point) {}
    std::optional<QString> ChooseOutputDirectory(const QString&) override { return output_; }
    void ShowRestorePointsLoading() override {}
    void CloseRestorePoints() override {}
    std::optional<int> ChooseRestorePoint(const QStringList&) override { return point_; }
    void ShowErrorMessage(const QString& text) override { ADD_FAILURE() << text.toStdString(); }
    QString AskPassword(const QString&, const QString&) override { return QString(); }

private:
    QString output_;
    int point_;
};

constexpr uid_t Nobody = 65534;

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

class SourceChangesTest : public testing::BackupTest {
protected:
    // A fresh job of the given type over the source folder "Docs".
    void NewJob(const QString& name, TBackupType type) {
        job = std::make_unique<TJob_FilesAndFolders>(name);
        job->DestinationPath = Dest();
        job->Settings.Backup.BackupType = type;
        job->Settings.Sources.List = {Source(u"Docs/*"_s)};
        ASSERT_TRUE(QDir(Source(u"Docs"_s)).removeRecursively());
        ASSERT_TRUE(QDir().mkpath(Source(u"Docs"_s)));
    }

    // Backs up and remembers the source as it was, for the restore of this point.
    void BackUpAndSnapshot() {
        RunBackup();
        EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
        EXPECT_EQ(job->LastJobResult.ErrorsCount, 0) << LogText().toStdString();
        snapshots.append(TreeContents(Source()));
    }

    // Restores a point (0-based; ignored for a mirror) into a fresh folder and returns what it holds.
    Tree Restore(int point) {
        const QString output = HomePath(u"out"_s);
        EXPECT_TRUE(QDir(output).removeRecursively());
        EXPECT_TRUE(QDir().mkpath(output));
        PointDialogs dialogs(output, point);
        job->Restore(dialogs);
        job->WaitForWorker();
        EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
        EXPECT_EQ(job->LastJobResult.ErrorsCount, 0) << LogText().toStdString();
        return TreeContents(output);
    }

    // The file and folder lists the storage copy of the job file holds for the next run.
    TBackupChainState StoredLists() const {
        TJob_FilesAndFolders reader(job->stJobName);
        TBackupChainState chain;
        reader.LoadRemoteJobFile(JobFolder() + u".bmj"_s, false, chain);
        return chain;
    }

    // Runs a backup as an ordinary user, for whom permissions are enforced: in this process when the
    // tests run as one, otherwise in a child process that gives up root first. The run's log and
    // counters come back to this job.
    void RunBackupUnprivileged() {
        if (::geteuid() != 0)
            return RunBackup();
        GiveHomeToNobodyButTheSource();
        const QString report = HomePath(u"child-report.txt"_s);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            ::_exit(RunBackupAsNobody(report));
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        QStringList lines = QString::fromUtf8(ReadFileBytes(report)).split(u'\n');
        ASSERT_GE(lines.size(), 2);
        job->LastJobResult.ErrorsCount = lines.takeFirst().toInt();
        job->LastJobResult.Cancelled = lines.takeFirst() == u"1"_s;
        job->LastJobResult.Log = lines;
        clock.AdvanceSeconds(24 * 3600);
    }

    QList<Tree> snapshots;

private:
    // The child's whole work; never returns to the test framework.
    int RunBackupAsNobody(const QString& report) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(Nobody, Nobody, Nobody) != 0 ||
            ::setresuid(Nobody, Nobody, Nobody) != 0)
            return 3;
        job->Backup();
        job->WaitForWorker();
        QFile file(report);
        if (!file.open(QIODevice::WriteOnly))
            return 4;
        const QString text = QString::number(job->LastJobResult.ErrorsCount.load()) + u'\n' +
                             (job->LastJobResult.Cancelled ? u"1"_s : u"0"_s) + u'\n' +
                             job->LastJobResult.Log.join(u'\n');
        file.write(text.toUtf8());
        return 0;
    }

    // The source keeps its owner, so its change times stay as they are; it is readable by anyone.
    void GiveHomeToNobodyButTheSource() {
        const QString home = HomePath(QString());
        ASSERT_EQ(::chown(Native(home).constData(), Nobody, Nobody), 0);
        QDirIterator it(home, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (path == Source() || path.startsWith(Source() + u'/'))
                continue;
            ASSERT_EQ(::lchown(Native(path).constData(), Nobody, Nobody), 0) << path.toStdString();
        }
    }
};

// A file replaced by a folder of the same name, and the reverse: every point of an incremental chain
// restores the source as it was, and a mirror follows without a failed step.
TEST_F(SourceChangesTest, AFileAndAFolderOfTheSameNameTakeEachOthersPlace) {
    struct Case {
        const char* name;
        TBackupType type;
        bool fileBecomesFolder;
    };
    const Case cases[] = {{"IncFileToFolder", btInc, true},
                          {"IncFolderToFile", btInc, false},
                          {"MirrorFileToFolder", btSync, true},
                          {"MirrorFolderToFile", btSync, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        NewJob(QString::fromLatin1(c.name), c.type);
        snapshots.clear();
        WriteSource(u"Docs/keep.txt"_s, "keep");
        if (c.fileBecomesFolder)
            WriteSource(u"Docs/x"_s, "a file");
        else
            WriteSource(u"Docs/x/sub/inner.txt"_s, "inside");
        BackUpAndSnapshot();

        RemoveSource(u"Docs/x"_s);
        if (c.fileBecomesFolder)
            WriteSource(u"Docs/x/sub/inner.txt"_s, "inside");
        else
            WriteSource(u"Docs/x"_s, "a file");
        BackUpAndSnapshot();
        // Only the new entry is copied.
        EXPECT_EQ(job->CurrentBackupFilesProcessed, 1) << LogText().toStdString();

        WriteSource(u"Docs/keep.txt"_s, "kept, edited", 60);
        BackUpAndSnapshot();

        if (c.type == btSync) {
            EXPECT_EQ(StoredFiles(JobFolder()), snapshots.last());
            EXPECT_EQ(Restore(-1), snapshots.last());
            continue;
        }
        for (int point = 0; point < snapshots.size(); ++point) {
            SCOPED_TRACE(point);
            EXPECT_EQ(Restore(point), snapshots[point]);
        }
    }
}

// A new content under the old last-write time, and a mode change alone, are both backed up.
TEST_F(SourceChangesTest, ChangesTheLastWriteTimeDoesNotShowAreBackedUp) {
    NewJob(u"Docs"_s, btInc);
    WriteSource(u"Docs/run.sh"_s, "#!/bin/sh\n");
    WriteSource(u"Docs/data.txt"_s, "old");
    WriteSource(u"Docs/same.txt"_s, "same");
    BackUpAndSnapshot();

    // The kernel's clock for inode times moves in steps of a few milliseconds.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const QString data = Source(u"Docs/data.txt"_s);
    struct stat before {};
    ASSERT_EQ(::stat(Native(data).constData(), &before), 0);
    WriteFileBytes(data, "new content, longer");
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, Native(data).constData(), times, 0), 0);
    ASSERT_EQ(::chmod(Native(Source(u"Docs/run.sh"_s)).constData(), 0755), 0);
    BackUpAndSnapshot();

    const QString second = Subfolders().value(1);
    QStringList copied = ListFile(second, u"_rf.qkl"_s);
    copied.sort();
    EXPECT_EQ(copied, (QStringList{u"Docs/data.txt"_s, u"Docs/run.sh"_s}));
    EXPECT_EQ(Restore(1), snapshots[1]);
    EXPECT_EQ(ReadFileBytes(HomePath(u"out/Docs/data.txt"_s)), "new content, longer");
    EXPECT_TRUE(QFileInfo(HomePath(u"out/Docs/run.sh"_s)).permissions() & QFile::ExeOwner);
}

// A folder or file the run may not read is an error naming it, and what the backup held for it stays:
// not recorded as removed, not deleted from a mirror. A new unreadable file stays absent.
TEST_F(SourceChangesTest, UnreadableEntriesKeepWhatTheBackupHeld) {
    for (const TBackupType type : {btInc, btSync}) {
        SCOPED_TRACE(int(type));
        NewJob(type == btInc ? u"Inc"_s : u"Mirror"_s, type);
        WriteSource(u"Docs/ok.txt"_s, "ok");
        WriteSource(u"Docs/locked.txt"_s, "locked");
        WriteSource(u"Docs/udir/f1.txt"_s, "f1");
        WriteSource(u"Docs/udir/sub/f2.txt"_s, "f2");
        BackUpAndSnapshot();
        const Tree before = TreeContents(Source());
        const TBackupChainState first = StoredLists();

        WriteSource(u"Docs/new.txt"_s, "new");
        for (const char* path : {"Docs/udir", "Docs/locked.txt", "Docs/new.txt"})
            ASSERT_EQ(::chmod(Native(Source(QString::fromLatin1(path))).constData(), 0), 0);
        RunBackupUnprivileged();
        for (const char* path : {"Docs/udir", "Docs/locked.txt", "Docs/new.txt"})
            ASSERT_EQ(::chmod(Native(Source(QString::fromLatin1(path))).constData(), 0755), 0);

        EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
        EXPECT_EQ(job->LastJobResult.ErrorsCount, 3) << LogText().toStdString();
        EXPECT_TRUE(LogText().contains(u"ERROR: Unable to read the directory: "_s + Source(u"Docs/udir"_s)))
            << LogText().toStdString();
        for (const char* file : {"Docs/locked.txt", "Docs/new.txt"}) {
            const QString path = Source(QString::fromLatin1(file));
            EXPECT_TRUE(LogText().contains(u"Permission denied "_s + path)) << LogText().toStdString();
        }

        // The next run compares with the same entries and times as before.
        const TBackupChainState second = StoredLists();
        QStringList files = second.PreviousLocalFilesList;
        files.sort();
        EXPECT_EQ(files, (QStringList{u"Docs/locked.txt"_s, u"Docs/ok.txt"_s, u"Docs/udir/f1.txt"_s,
                                      u"Docs/udir/sub/f2.txt"_s}));
        for (qsizetype i = 0; i < first.PreviousLocalFilesList.size(); ++i) {
            const qsizetype at = second.PreviousLocalFilesList.indexOf(first.PreviousLocalFilesList[i]);
            ASSERT_GE(at, 0);
            EXPECT_EQ(second.PreviousLocalFilesTimeList[at], first.PreviousLocalFilesTimeList[i]);
        }
        EXPECT_TRUE(second.PreviousLocalDirsList.contains(u"Docs/udir/sub"_s));

        if (type == btSync) {
            EXPECT_EQ(StoredFiles(JobFolder()), before);
            continue;
        }
        const QString point = Subfolders().value(1);
        EXPECT_EQ(ListFile(point, u"_rrf.qkl"_s), QStringList{});
        EXPECT_EQ(ListFile(point, u"_rrd.qkl"_s), QStringList{});
        EXPECT_EQ(Restore(1), before);
    }
}

// A source that is missing for a run (an unplugged disk, say) is a warning, and the backup keeps what it
// holds of it: a mirror keeps its copies, an incremental point records nothing as removed.
TEST_F(SourceChangesTest, AMissingSourceKeepsWhatTheBackupHeld) {
    for (const TBackupType type : {btInc, btSync}) {
        SCOPED_TRACE(int(type));
        NewJob(type == btInc ? u"Inc"_s : u"Mirror"_s, type);
        job->Settings.Sources.List.append(Source(u"notes.txt"_s));
        WriteSource(u"Docs/a.txt"_s, "a");
        WriteSource(u"Docs/sub/b.txt"_s, "b");
        WriteSource(u"notes.txt"_s, "n");
        BackUpAndSnapshot();
        const Tree before = StoredFiles(JobFolder());

        ASSERT_TRUE(QDir().rename(Source(u"Docs"_s), Source(u"Docs-away"_s)));
        ASSERT_TRUE(QFile::rename(Source(u"notes.txt"_s), Source(u"notes-away.txt"_s)));
        RunBackup();
        ASSERT_TRUE(QDir().rename(Source(u"Docs-away"_s), Source(u"Docs"_s)));
        ASSERT_TRUE(QFile::rename(Source(u"notes-away.txt"_s), Source(u"notes.txt"_s)));

        EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
        EXPECT_EQ(job->LastJobResult.WarningsCount, 2) << LogText().toStdString();
        QStringList files = StoredLists().PreviousLocalFilesList;
        files.sort();
        EXPECT_EQ(files, (QStringList{u"Docs/a.txt"_s, u"Docs/sub/b.txt"_s, u"notes.txt"_s}));
        if (type == btSync) {
            EXPECT_EQ(StoredFiles(JobFolder()), before);
            continue;
        }
        const QString point = Subfolders().value(1);
        EXPECT_EQ(ListFile(point, u"_rrf.qkl"_s), QStringList{});
        EXPECT_EQ(ListFile(point, u"_rrd.qkl"_s), QStringList{});
    }
}

} // namespace
} // namespace morvane
