// The restore on storage layouts written by hand, as a backup leaves them, with scripted dialogs.

#include "engine/backup_fixture.h"
#include "engine/restore_run.h"
#include "engine/scripted_restore_dialogs.h"
#include "formats/text_file.h"
#include "jobs/job_file.h"
#include "jobs/run_log.h"
#include "options/options.h"
#include "platform/paths.h"
#include "platform/program_state.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QUuid>

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::ScriptedRestoreDialogs;

// One backup folder as a backup run writes it: its files and its four lists.
struct BackupFolder {
    QString name;
    QMap<QString, QByteArray> files; // "_rf.qkl" lists them
    QStringList createdDirs;         // "_rd.qkl"
    QStringList removedFiles;        // "_rrf.qkl"
    QStringList removedDirs;         // "_rrd.qkl"
};

using Tree = QMap<QString, QByteArray>;
using testing::TreeContents;
using testing::WriteFileBytes;

// Restores from a storage layout written by hand into an output folder, answering from a script.
class RestoreRunTest : public testing::BackupTest {
protected:
    void SetUp() override {
        BackupTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(Output()));
        dialogs.outputFolder = Output();
    }

    QString Output(const QString& relative = QString()) const {
        return relative.isEmpty() ? HomePath(u"out"_s) : HomePath(u"out/"_s + relative);
    }

    void WriteBackupFolder(const BackupFolder& folder) {
        const QString root = JobFolder(folder.name);
        for (auto it = folder.files.cbegin(); it != folder.files.cend(); ++it)
            WriteFileBytes(JoinPath(root, it.key()), it.value());
        ASSERT_TRUE(QDir().mkpath(root));
        ASSERT_TRUE(WriteTextFileLines(JoinPath(root, u"_rf.qkl"_s), folder.files.keys()));
        ASSERT_TRUE(WriteTextFileLines(JoinPath(root, u"_rd.qkl"_s), folder.createdDirs));
        ASSERT_TRUE(WriteTextFileLines(JoinPath(root, u"_rrf.qkl"_s), folder.removedFiles));
        ASSERT_TRUE(WriteTextFileLines(JoinPath(root, u"_rrd.qkl"_s), folder.removedDirs));
    }

    void WriteJobCopy(const TBackupChainState& chain) {
        ASSERT_TRUE(QDir().mkpath(JobFolder()));
        ASSERT_TRUE(job->SaveRemoteJobFile(Dest(u"Docs.bmj"_s), chain));
    }

    // A chain of incremental backups: the marker, then each folder's name, oldest first.
    void WriteChain(const QList<BackupFolder>& folders) {
        TBackupChainState chain;
        chain.MainBackupList.append(u"Incremental)"_s);
        for (const BackupFolder& folder : folders) {
            WriteBackupFolder(folder);
            chain.MainBackupList.append(folder.name);
        }
        WriteJobCopy(chain);
    }

    void WriteMirror(const Tree& files, const QStringList& dirs) {
        TBackupChainState chain;
        chain.MainBackupList = {u"Syncronization)"_s};
        chain.PreviousLocalDirsList = dirs;
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            WriteFileBytes(JobFolder(it.key()), it.value());
            chain.PreviousLocalFilesList.append(it.key());
            chain.PreviousLocalFilesTimeList.append(u"2024-03-05 21:30:00:000"_s);
        }
        WriteJobCopy(chain);
    }

    void RunRestore() {
        job->Restore(dialogs);
        job->WaitForWorker();
    }

    QStringList LogTexts() const {
        QStringList texts;
        for (const QString& line : job->LastJobResult.Log) {
            const qsizetype at = line.indexOf(u": "_s);
            texts.append(at < 0 ? line : line.mid(at + 2));
        }
        return texts;
    }
    QStringList LinesStartingWith(const QString& start) const {
        QStringList lines;
        for (const QString& text : LogTexts())
            if (text.startsWith(start))
                lines.append(text);
        return lines;
    }
    bool LogFileWritten() const { return !QDir(JobLogFolder(*job)).entryList(QDir::Files).isEmpty(); }
    QString HistoryEnd() const {
        const QString last = job->BackupHistory.isEmpty() ? QString() : job->BackupHistory.last();
        return last.mid(last.indexOf(u": "_s) + 2);
    }

    ScriptedRestoreDialogs dialogs;
};

// Full A, Inc B, Inc C, Full D, Inc E. B changes a.txt, C deletes it and the folder Sub, D is a new full
// copy, E adds a file.
QList<BackupFolder> FiveRuns() {
    return {
        {u"2024-03-01 10;00;00 (Full)"_s,
         {{u"Docs/a.txt"_s, "a1"}, {u"Docs/b.txt"_s, "b1"}, {u"Docs/Sub/c.txt"_s, "c1"}},
         {u"Docs"_s, u"Docs/Sub"_s},
         {},
         {}},
        {u"2024-03-02 10;00;00 (Incremental)"_s, {{u"Docs/a.txt"_s, "a2"}}, {}, {}, {}},
        {u"2024-03-03 10;00;00 (Incremental)"_s,
         {},
         {},
         {u"Docs/a.txt"_s, u"Docs/Sub/c.txt"_s},
         {u"Docs/Sub"_s}},
        {u"2024-03-04 10;00;00 (Full)"_s, {{u"Docs/b.txt"_s, "b2"}}, {u"Docs"_s}, {}, {}},
        {u"2024-03-05 10;00;00 (Incremental)"_s, {{u"Docs/new.txt"_s, "n"}}, {}, {}, {}},
    };
}

TEST_F(RestoreRunTest, EachPointRestoresItsChainInOrder) {
    WriteChain(FiveRuns());
    struct Case {
        int point;
        QStringList folders; // the backup folders restored, in order
        Tree tree;
    };
    const Case cases[] = {
        {0,
         {u"2024-03-01 10;00;00 (Full)"_s},
         {{u"Docs/a.txt"_s, "a1"}, {u"Docs/b.txt"_s, "b1"}, {u"Docs/Sub/c.txt"_s, "c1"}}},
        {1,
         {u"2024-03-01 10;00;00 (Full)"_s, u"2024-03-02 10;00;00 (Incremental)"_s},
         {{u"Docs/a.txt"_s, "a2"}, {u"Docs/b.txt"_s, "b1"}, {u"Docs/Sub/c.txt"_s, "c1"}}},
        {2,
         {u"2024-03-01 10;00;00 (Full)"_s, u"2024-03-02 10;00;00 (Incremental)"_s,
          u"2024-03-03 10;00;00 (Incremental)"_s},
         {{u"Docs/b.txt"_s, "b1"}}},
        {3, {u"2024-03-04 10;00;00 (Full)"_s}, {{u"Docs/b.txt"_s, "b2"}}},
        {4,
         {u"2024-03-04 10;00;00 (Full)"_s, u"2024-03-05 10;00;00 (Incremental)"_s},
         {{u"Docs/b.txt"_s, "b2"}, {u"Docs/new.txt"_s, "n"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.point);
        ASSERT_TRUE(QDir(Output()).removeRecursively() && QDir().mkpath(Output()));
        dialogs.point = c.point;
        RunRestore();
        QStringList restored;
        for (const QString& line : LinesStartingWith(u"Restoring the directory: "_s))
            restored.append(QFileInfo(line.mid(25)).fileName());
        EXPECT_EQ(restored, c.folders);
        EXPECT_EQ(TreeContents(Output()), c.tree);
        EXPECT_FALSE(QDir(Output(u"Docs/Sub"_s)).exists() && c.point == 2);
        EXPECT_EQ(job->LastJobResult.ErrorsCount, 0) << LogTexts().join(u'\n').toStdString();
        EXPECT_FALSE(job->LastJobResult.Cancelled);
        EXPECT_EQ(LogTexts().last(), u"Disconnecting from device."_s);
        EXPECT_TRUE(LogTexts().contains(u"Restore job \"Docs\" is finished."_s));
        EXPECT_EQ(HistoryEnd(), u"Restore job is finished.");
        EXPECT_EQ(job->JobStatus, jsNone);
        EXPECT_EQ(job->JobOperation, joRestore);
    }
    EXPECT_EQ(dialogs.title, u"Choose an output directory");
    EXPECT_EQ(dialogs.shownPoints.first(), u"2024-03-01 10:00:00 (Full)");
    EXPECT_EQ(dialogs.chooserShown, dialogs.chooserClosed);
    EXPECT_EQ(dialogs.passwordAsked, 0);
    EXPECT_TRUE(LogFileWritten());
    // The storage is left as it was and the job's temporary files are gone.
    EXPECT_EQ(QDir(JobFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 5);
    EXPECT_FALSE(QDir(JoinPath(job->JobOptions.General.PathForTempFiles, u"Docs"_s)).exists());
}

TEST_F(RestoreRunTest, RestoringOverExistingFilesReplacesThemAndKeepsOthers) {
    WriteChain({FiveRuns()[0], FiveRuns()[1]});
    WriteFileBytes(Output(u"Docs/a.txt"_s), "mine");
    ASSERT_EQ(::chmod(QFile::encodeName(Output(u"Docs/a.txt"_s)).constData(), 0444), 0);
    WriteFileBytes(Output(u"Docs/other.txt"_s), "other");
    dialogs.point = 1;
    RunRestore();
    const Tree tree = TreeContents(Output());
    EXPECT_EQ(tree.value(u"Docs/a.txt"_s), "a2");
    EXPECT_EQ(tree.value(u"Docs/other.txt"_s), "other");
    EXPECT_EQ(job->LastJobResult.ErrorsCount, 0) << LogTexts().join(u'\n').toStdString();
}

TEST_F(RestoreRunTest, TheStoredTypeMarkerDecidesTheJobsType) {
    job->Settings.Backup.BackupType = btSync;
    WriteChain({FiveRuns()[0]});
    dialogs.point = 0;
    RunRestore();
    EXPECT_EQ(job->Settings.Backup.BackupType, btInc);
    TJob_FilesAndFolders saved(u"Docs"_s);
    ASSERT_TRUE(saved.LoadLocalJobFile(LocalJobFilePath(AppDir(), u"Docs"_s)));
    EXPECT_EQ(saved.Settings.Backup.BackupType, btInc);
    EXPECT_EQ(saved.LogList.size(), 1);
}

TEST_F(RestoreRunTest, MirrorRestoresTheFilesOfItsLastRun) {
    job->Settings.Backup.BackupType = btSync;
    WriteMirror({{u"Docs/a.txt"_s, "a"}, {u"Docs/Sub/c.txt"_s, "c"}, {u"notes.txt"_s, "n"}},
                {u"Docs"_s, u"Docs/Sub"_s, u"Docs/Empty"_s});
    WriteFileBytes(JobFolder(u"Docs/stale.txt"_s), "not recorded");
    RunRestore();
    EXPECT_TRUE(dialogs.shownPoints.isEmpty());
    EXPECT_EQ(TreeContents(Output()),
              (Tree{{u"Docs/a.txt"_s, "a"}, {u"Docs/Sub/c.txt"_s, "c"}, {u"notes.txt"_s, "n"}}));
    EXPECT_TRUE(QDir(Output(u"Docs/Empty"_s)).exists());
    EXPECT_TRUE(LogTexts().contains(u"Restore job \"Docs\" is finished."_s));
}

TEST_F(RestoreRunTest, AnUnfinishedMirrorIsRefused) {
    job->Settings.Backup.BackupType = btSync;
    WriteMirror({{u"Docs/a.txt"_s, "a"}}, {u"Docs"_s});
    WriteFileBytes(JobFolder(u"_startflag.qkl"_s), "\xEF\xBB\xBF");
    RunRestore();
    const QString message =
        u"Last backup job was cancelled, so Morvane Backup is not able to restore your files. "
        u"Please copy the backup folder \"Docs\" from the storage manually."_s;
    EXPECT_EQ(dialogs.errors, QStringList{message});
    EXPECT_TRUE(LinesStartingWith(u"ERROR: "_s).contains(u"ERROR: "_s + message));
    EXPECT_TRUE(job->LastJobResult.Cancelled);
    EXPECT_EQ(job->LastJobResult.ErrorsCount, 1);
    EXPECT_EQ(HistoryEnd(), u"Restore is cancelled.");
    EXPECT_TRUE(TreeContents(Output()).isEmpty());
    EXPECT_FALSE(LogFileWritten());
    EXPECT_EQ(job->JobStatus, jsNone);
    EXPECT_TRUE(TakeEventTexts().contains(u"\"Docs\" restore is cancelled."_s));
}

TEST_F(RestoreRunTest, HostileListEntriesAreRefusedAndTheRestGoesOn) {
    WriteFileBytes(HomePath(u"keep.txt"_s), "outside");
    WriteFileBytes(HomePath(u"dest/Docs/keep.txt"_s), "inside the job folder");
    BackupFolder full{
        u"2024-03-01 10;00;00 (Full)"_s, {{u"Docs/a.txt"_s, "a"}}, {u"Docs"_s, u"../evil"_s}, {}, {}};
    WriteChain({full});
    // The lists name paths that leave the output folder (and the backup folder) in every way.
    const QString root = JobFolder(full.name);
    ASSERT_TRUE(
        WriteTextFileLines(JoinPath(root, u"_rf.qkl"_s),
                           {u"Docs/a.txt"_s, u"../keep.txt"_s, u"/etc/x"_s, u"Docs//a.txt"_s,
                            u"Docs/../../keep.txt"_s, u"."_s, u"/f/..%2F..%2Fkeep.txt"_s, u"/l/%2Fetc%2Fx"_s,
                            u"/f/Docs/%2E%2E/%2E%2E/keep.txt"_s, u"/f/Docs/a%2"_s}));
    ASSERT_TRUE(WriteTextFileLines(JoinPath(root, u"_rrf.qkl"_s), {u"../../keep.txt"_s}));
    ASSERT_TRUE(WriteTextFileLines(JoinPath(root, u"_rrd.qkl"_s), {u""_s, u".."_s}));
    dialogs.point = 0;
    RunRestore();
    EXPECT_EQ(TreeContents(Output()), (Tree{{u"Docs/a.txt"_s, "a"}}));
    EXPECT_EQ(testing::ReadFileBytes(HomePath(u"keep.txt"_s)), "outside");
    EXPECT_FALSE(QDir(HomePath(u"evil"_s)).exists());
    EXPECT_TRUE(QDir(HomePath(u"dest"_s)).exists());
    EXPECT_EQ(
        LinesStartingWith(u"ERROR: The entry leads outside the output folder and is skipped: "_s).size(), 13)
        << LogTexts().join(u'\n').toStdString();
    EXPECT_EQ(job->LastJobResult.ErrorsCount, 13);
    EXPECT_FALSE(job->LastJobResult.Cancelled);
    EXPECT_TRUE(LogTexts().contains(u"Restore job \"Docs\" is finished with errors."_s));
}

// A link in the output folder, restored or already there, is never written through: an entry below
// one is refused, and a file restored over one replaces the link itself.
TEST_F(RestoreRunTest, NothingIsWrittenThroughALinkInTheOutputFolder) {
    const QString outside = HomePath(u"outside"_s);
    WriteFileBytes(outside + u"/victim.txt"_s, "victim");
    WriteFileBytes(outside + u"/gone/kept.txt"_s, "kept");
    WriteFileBytes(HomePath(u"mine.txt"_s), "mine");
    ASSERT_TRUE(QDir().mkpath(Output(u"Docs"_s)));
    ASSERT_EQ(::symlink(QFile::encodeName(HomePath(u"mine.txt"_s)).constData(),
                        QFile::encodeName(Output(u"Docs/b.txt"_s)).constData()),
              0);
    BackupFolder full{u"2024-03-01 10;00;00 (Full)"_s,
                      {{u"Docs/a"_s, outside.toUtf8()}, {u"Docs/b.txt"_s, "b"}},
                      {u"Docs"_s},
                      {},
                      {}};
    BackupFolder next{u"2024-03-02 10;00;00 (Incremental)"_s,
                      {{u"Docs/a/passwd"_s, "hostile"}},
                      {u"Docs/a/sub"_s},
                      {u"Docs/a/victim.txt"_s},
                      {u"Docs/a/gone"_s}};
    WriteChain({full, next});
    ASSERT_TRUE(
        WriteTextFileLines(JoinPath(JobFolder(full.name), u"_rf.qkl"_s), {u"/l/Docs/a"_s, u"Docs/b.txt"_s}));
    dialogs.point = 1;
    RunRestore();
    EXPECT_EQ(QFileInfo(Output(u"Docs/a"_s)).symLinkTarget(), outside);
    EXPECT_EQ(TreeContents(outside), (Tree{{u"victim.txt"_s, "victim"}, {u"gone/kept.txt"_s, "kept"}}));
    EXPECT_EQ(testing::ReadFileBytes(HomePath(u"mine.txt"_s)), "mine");
    EXPECT_FALSE(QFileInfo(Output(u"Docs/b.txt"_s)).isSymLink());
    EXPECT_EQ(testing::ReadFileBytes(Output(u"Docs/b.txt"_s)), "b");
    EXPECT_EQ(LinesStartingWith(u"ERROR: The path passes through a symbolic link and is skipped: "_s).size(),
              4)
        << LogTexts().join(u'\n').toStdString();
    EXPECT_EQ(job->LastJobResult.ErrorsCount, 4);
}

// A stored link is a file holding the target; one that cannot be a target is refused as damaged.
TEST_F(RestoreRunTest, ADamagedStoredLinkIsRefused) {
    BackupFolder full{
        u"2024-03-01 10;00;00 (Full)"_s,
        {{u"Docs/long"_s, QByteArray(4097, 'x')}, {u"Docs/empty"_s, ""}, {u"Docs/ok"_s, "target"}},
        {u"Docs"_s},
        {},
        {}};
    WriteChain({full});
    ASSERT_TRUE(WriteTextFileLines(JoinPath(JobFolder(full.name), u"_rf.qkl"_s),
                                   {u"/l/Docs/long"_s, u"/l/Docs/empty"_s, u"/l/Docs/ok"_s}));
    dialogs.point = 0;
    RunRestore();
    EXPECT_EQ(LinesStartingWith(u"ERROR: The stored symbolic link is damaged: "_s).size(), 2);
    EXPECT_FALSE(QFileInfo::exists(Output(u"Docs/long"_s)) || QFileInfo(Output(u"Docs/long"_s)).isSymLink());
    EXPECT_EQ(QFileInfo(Output(u"Docs/ok"_s)).symLinkTarget(), Output(u"Docs/target"_s));
}

TEST_F(RestoreRunTest, AHostileBackupNameIsRefused) {
    WriteFileBytes(HomePath(u"x/_rf.qkl"_s), "\xEF\xBB\xBF../../../keep.txt\r\n");
    TBackupChainState chain;
    chain.MainBackupList = {u"Incremental)"_s, u"../../x/(Full)"_s};
    WriteJobCopy(chain);
    dialogs.point = 0;
    RunRestore();
    EXPECT_EQ(
        LinesStartingWith(u"ERROR: The backup name leads outside the backup folder: ../../x/(Full)"_s).size(),
        1);
    EXPECT_TRUE(job->LastJobResult.Cancelled);
    EXPECT_TRUE(LinesStartingWith(u"Restoring the directory:"_s).isEmpty());
}

TEST_F(RestoreRunTest, FailuresBeforeTheRunEndItWithoutALogFile) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        QString message; // the error box, empty when none
        bool cancelled;  // the restore records its cancellation
    };
    const BackupFolder full = FiveRuns()[0];
    const Case cases[] = {
        {"output folder dialog cancelled", [&] { dialogs.outputFolder.reset(); }, QString(), false},
        {"output folder missing", [&] { dialogs.outputFolder = Output(u"missing"_s); }, QString(), false},
        {"storage unreachable", [&] { job->DestinationPath = Dest(u"gone"_s); },
         u"Unable to connect to the backup storage.\r\nERROR: The directory does not exist: "_s +
             Dest(u"gone"_s),
         false},
        {"no job copy on the storage", [&] { QFile::remove(Dest(u"Docs.bmj"_s)); },
         u"Unable to copy the job file \"Docs.bmj\" from the backup directory."_s, false},
        {"damaged job copy", [&] { WriteFileBytes(Dest(u"Docs.bmj"_s), "not a job file"); },
         u"Unable to open the job file from the backup storage."_s, false},
        {"chooser cancelled", [&] { dialogs.point.reset(); }, QString(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteChain({full});
        job->DestinationPath = Dest();
        job->BackupHistory.clear();
        dialogs = ScriptedRestoreDialogs();
        dialogs.outputFolder = Output();
        dialogs.point = 0;
        c.arrange();
        RunRestore();
        EXPECT_EQ(dialogs.errors, c.message.isEmpty() ? QStringList() : QStringList{c.message});
        EXPECT_EQ(job->JobStatus, jsNone);
        EXPECT_TRUE(TreeContents(Output()).isEmpty());
        EXPECT_FALSE(LogFileWritten());
        EXPECT_EQ(job->LastJobResult.Cancelled.load(), c.cancelled);
        EXPECT_EQ(HistoryEnd(), c.cancelled ? u"Restore is cancelled."_s : QString());
        EXPECT_FALSE(QDir(JoinPath(job->JobOptions.General.PathForTempFiles, u"Docs"_s)).exists());
    }
}

TEST_F(RestoreRunTest, FailuresInsideTheRunCancelItAndKeepWhatWasRestored) {
    struct Case {
        const char* name;
        BackupFolder second;
        std::function<void()> arrange;
        int errors;
    };
    const BackupFolder full = FiveRuns()[0];
    const Case cases[] = {
        {"a list file is missing", FiveRuns()[1],
         [&] { QFile::remove(JobFolder(u"2024-03-02 10;00;00 (Incremental)/_rd.qkl"_s)); }, 1},
        {"a backed-up file is missing", FiveRuns()[1],
         [&] { QFile::remove(JobFolder(u"2024-03-02 10;00;00 (Incremental)/Docs/a.txt"_s)); }, 1},
        {"a file to delete is missing",
         {u"2024-03-02 10;00;00 (Incremental)"_s, {}, {}, {u"Docs/never.txt"_s}, {}},
         [] {},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(QDir(Output()).removeRecursively() && QDir().mkpath(Output()));
        ASSERT_TRUE(QDir(JobFolder()).removeRecursively());
        WriteChain({full, c.second});
        c.arrange();
        dialogs.point = 1;
        RunRestore();
        EXPECT_TRUE(job->LastJobResult.Cancelled);
        EXPECT_EQ(job->LastJobResult.ErrorsCount, c.errors) << LogTexts().join(u'\n').toStdString();
        EXPECT_TRUE(LogTexts().contains(u"Restore is cancelled."_s));
        EXPECT_EQ(TreeContents(Output()).value(u"Docs/b.txt"_s), "b1");
        EXPECT_TRUE(LogFileWritten());
        EXPECT_EQ(job->JobStatus, jsNone);
    }
}

// A permissions list that is there but cannot be read leaves the files as the copy made them: the
// restore goes on and ends with an error, never as finished.
TEST_F(RestoreRunTest, AnUnreadablePermissionsListIsAnError) {
    const BackupFolder full = FiveRuns()[0];
    WriteChain({full});
    ASSERT_TRUE(QDir().mkpath(JobFolder(full.name + u"/_rm.qkl"_s)));
    dialogs.point = 0;
    RunRestore();
    EXPECT_EQ(job->LastJobResult.ErrorsCount, 1) << LogTexts().join(u'\n').toStdString();
    EXPECT_TRUE(LogTexts().filter(u"Unable to read the permissions and times of the backup:"_s).size() == 1);
    EXPECT_EQ(TreeContents(Output()).value(u"Docs/b.txt"_s), "b1");
}

TEST_F(RestoreRunTest, AnIncrementalPointWithoutAFullOneRestoresNothing) {
    WriteChain({FiveRuns()[1]});
    dialogs.point = 0;
    RunRestore();
    EXPECT_TRUE(LinesStartingWith(u"Restoring the directory:"_s).isEmpty());
    EXPECT_TRUE(LogTexts().contains(u"Restore job \"Docs\" is finished."_s));
}

TEST_F(RestoreRunTest, AZipPointAsksForAPasswordAndRestoresAsUsual) {
    BackupFolder zip = FiveRuns()[0];
    zip.name = u"2024-03-01 10;00;00 (ZIP , Full)"_s;
    WriteChain({zip});
    dialogs.point = 0;
    RunRestore();
    EXPECT_EQ(dialogs.passwordAsked, 1);
    EXPECT_EQ(TreeContents(Output()).size(), 3);
}

TEST_F(RestoreRunTest, AFolderOfAnotherInstallationsJobIsNeitherListedNorRestored) {
    WriteChain(FiveRuns());
    WriteFileBytes(JobFolder(u"_owner.qkl"_s),
                   "\xEF\xBB\xBF" + QUuid::createUuid().toByteArray(QUuid::WithoutBraces) + "\r\n");
    dialogs.point = 4;
    RunRestore();
    ASSERT_EQ(dialogs.errors.size(), 1);
    EXPECT_TRUE(dialogs.errors.first().startsWith(u"The backup folder "_s + JobFolder() +
                                                  u" belongs to a job of another user or computer"_s))
        << dialogs.errors.first().toStdString();
    EXPECT_TRUE(dialogs.shownPoints.isEmpty());
    EXPECT_TRUE(TreeContents(Output()).isEmpty());
    EXPECT_EQ(job->JobStatus, jsNone);
}

// A backup of the job may be running in another process while its points are read and restored: its
// temporary folder and its copy of the job file stay as they are.
TEST_F(RestoreRunTest, TheTemporaryFilesOfARunningBackupAreLeftAlone) {
    WriteChain(FiveRuns());
    job->OptionsToJobOptions();
    const QString tempRoot = job->JobOptions.General.PathForTempFiles;
    const Tree running = {{u"Docs/_startflag.qkl"_s, "the running backup's flag"},
                          {u"Docs/_rf.qkl"_s, "the running backup's list"},
                          {u"Docs.bmj"_s, "the running backup's job copy"}};
    for (auto it = running.cbegin(); it != running.cend(); ++it)
        WriteFileBytes(JoinPath(tempRoot, it.key()), it.value());

    TRestorePoints points;
    EXPECT_TRUE(ReadRestorePoints(*job, points).isEmpty());
    EXPECT_EQ(points.Names.size(), 5);
    EXPECT_EQ(TreeContents(tempRoot), running);

    dialogs.point = 4;
    RunRestore();
    EXPECT_EQ(job->LastJobResult.ErrorsCount, 0) << LogTexts().join(u'\n').toStdString();
    EXPECT_EQ(TreeContents(Output()), (Tree{{u"Docs/b.txt"_s, "b2"}, {u"Docs/new.txt"_s, "n"}}));
    EXPECT_EQ(TreeContents(tempRoot), running);
    EXPECT_EQ(QDir(tempRoot).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{u"Docs"_s, u"Docs.bmj"_s}));
}

} // namespace
} // namespace morvane
