#include "engine/backup_fixture.h"
#include "formats/encryptor.h"
#include "formats/events_log.h"
#include "i18n/catalogue_loader.h"
#include "options/options.h"

#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <optional>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::ReadFileBytes;
using testing::StoredFiles;
using testing::WriteFileBytes;

QStringList Sorted(QStringList list) {
    list.sort();
    return list;
}

const QString FirstFull = u"2024-03-05 21;30;00 (Full)"_s;
const QString SecondDay = u"2024-03-06 21;30;00"_s;

class BackupRunTest : public testing::BackupTest {
protected:
    // The example job: a folder source with a.txt and Tax/2023.pdf, and a single-file source.
    void MakeExampleJob() {
        WriteSource(u"Documents/a.txt"_s, "a");
        WriteSource(u"Documents/Tax/2023.pdf"_s, "pdf");
        WriteSource(u"notes.txt"_s, "notes");
        job->Settings.Sources.List = {Source(u"Documents/*"_s), Source(u"notes.txt"_s)};
    }
};

TEST_F(BackupRunTest, ExampleJobWritesTheLayoutAndListsOfAFullThenAnIncrementalRun) {
    MakeExampleJob();
    RunBackup();
    EXPECT_EQ(job->JobStatus, jsNone);
    EXPECT_EQ(job->LastJobResult.ErrorsCount, 0) << LogText().toStdString();
    EXPECT_FALSE(job->LastJobResult.Cancelled);
    EXPECT_EQ(Subfolders(), QStringList{FirstFull});
    // Entries come in the order the file system lists them.
    EXPECT_EQ(Sorted(ListFile(FirstFull, u"_rf.qkl"_s)),
              (QStringList{u"Documents/Tax/2023.pdf"_s, u"Documents/a.txt"_s, u"notes.txt"_s}));
    EXPECT_EQ(ListFile(FirstFull, u"_rd.qkl"_s), (QStringList{u"Documents"_s, u"Documents/Tax"_s}));
    EXPECT_EQ(ReadFileBytes(JobFolder() + u'/' + FirstFull + u"/_rrf.qkl"_s), "\xEF\xBB\xBF");
    EXPECT_EQ(ReadFileBytes(JobFolder() + u'/' + FirstFull + u"/_rrd.qkl"_s), "\xEF\xBB\xBF");
    EXPECT_EQ(StoredFiles(JobFolder() + u'/' + FirstFull),
              (QMap<QString, QByteArray>{{u"Documents/a.txt"_s, "a"},
                                         {u"Documents/Tax/2023.pdf"_s, "pdf"},
                                         {u"notes.txt"_s, "notes"}}));
    EXPECT_FALSE(QFileInfo::exists(JobFolder() + u"/_startflag.qkl"_s));
    EXPECT_EQ(MainBackupList(), (QStringList{u"Incremental)"_s, FirstFull}));

    WriteSource(u"Documents/a.txt"_s, "a, edited", 60);
    RemoveSource(u"Documents/Tax/2023.pdf"_s);
    RunBackup();
    const QString second = SecondDay + u" (Incremental)"_s;
    EXPECT_EQ(Subfolders(), (QStringList{FirstFull, second}));
    EXPECT_EQ(ListFile(second, u"_rf.qkl"_s), QStringList{u"Documents/a.txt"_s});
    EXPECT_EQ(ListFile(second, u"_rd.qkl"_s), QStringList{});
    EXPECT_EQ(ListFile(second, u"_rrf.qkl"_s), QStringList{u"Documents/Tax/2023.pdf"_s});
    EXPECT_EQ(ListFile(second, u"_rrd.qkl"_s), QStringList{});
    EXPECT_EQ(StoredFiles(JobFolder() + u'/' + second),
              (QMap<QString, QByteArray>{{u"Documents/a.txt"_s, "a, edited"}}));
    EXPECT_EQ(MainBackupList(), (QStringList{u"Incremental)"_s, FirstFull, second}));
    EXPECT_TRUE(QFileInfo::exists(Dest(u"Docs.bmj"_s)));
}

TEST_F(BackupRunTest, RunWithoutChangesCopiesNothingButRecordsItself) {
    MakeExampleJob();
    RunBackup();
    TakeEventTexts();
    RunBackup();
    const QString second = SecondDay + u" (Incremental)"_s;
    EXPECT_EQ(ListFile(second, u"_rf.qkl"_s), QStringList{});
    EXPECT_TRUE(StoredFiles(JobFolder() + u'/' + second).isEmpty());
    const QStringList events = TakeEventTexts();
    ASSERT_FALSE(events.isEmpty());
    EXPECT_EQ(events.last(), u"Backup job \"Docs\" is finished. Files copied: 0."_s);
    EXPECT_EQ(job->LogList.size(), 2);
    EXPECT_TRUE(job->BackupHistory.last().endsWith(u": Backup job is finished."_s));
}

TEST_F(BackupRunTest, ClosingTextCountsFilesAndSize) {
    WriteSource(u"Documents/big.bin"_s, QByteArray(1536, 'x'));
    job->Settings.Sources.List = {Source(u"Documents/*"_s)};
    RunBackup();
    const QString closing = TakeEventTexts().last();
    // The size counts everything written to the storage, the run's own list files included.
    EXPECT_TRUE(
        closing.startsWith(u"Backup job \"Docs\" is finished. Files copied: 1. Total size of the files: "_s))
        << closing.toStdString();
    EXPECT_TRUE(closing.endsWith(u" KB"_s)) << closing.toStdString();
}

TEST_F(BackupRunTest, FullCopyAfterTheGivenNumberOfIncrements) {
    MakeExampleJob();
    job->Settings.Backup.PerformFullBackup_EveryCopies = 2;
    for (int run = 0; run < 4; ++run)
        RunBackup();
    const QStringList list = MainBackupList();
    ASSERT_EQ(list.size(), 5);
    EXPECT_TRUE(list[1].endsWith(u"(Full)"_s));
    EXPECT_TRUE(list[2].endsWith(u"(Incremental)"_s));
    EXPECT_TRUE(list[3].endsWith(u"(Incremental)"_s));
    EXPECT_TRUE(list[4].endsWith(u"(Full)"_s));
    EXPECT_TRUE(LogText().contains(
        u"The number of incremental copies (2) has reached the specified value (2). We need to perform a full backup."_s));
    EXPECT_EQ(StoredFiles(JobFolder() + u'/' + list[4]).size(), 3); // a full copy holds everything again
}

TEST_F(BackupRunTest, PruningKeepsTheNewestFullCopiesAndTheirIncrements) {
    MakeExampleJob();
    job->Settings.Backup.PerformFullBackup_EveryCopies = 1;
    job->Settings.Backup.NumberFullCopiesToKeep = 2;
    for (int run = 0; run < 5; ++run) // Full A, Inc, Full B, Inc, Full C
        RunBackup();
    const QStringList list = MainBackupList();
    ASSERT_EQ(list.size(), 4) << list.join(u", "_s).toStdString();
    EXPECT_TRUE(list[1].endsWith(u"(Full)"_s));
    EXPECT_TRUE(list[2].endsWith(u"(Incremental)"_s));
    EXPECT_TRUE(list[3].endsWith(u"(Full)"_s));
    EXPECT_EQ(Subfolders(), list.mid(1));
}

TEST_F(BackupRunTest, MirrorFollowsDeletionsOfFilesAndFolders) {
    MakeExampleJob();
    job->Settings.Backup.BackupType = btSync;
    RunBackup();
    EXPECT_EQ(StoredFiles(JobFolder()).size(), 3);
    RemoveSource(u"Documents/Tax"_s);
    WriteSource(u"Documents/new.txt"_s, "new");
    RunBackup();
    EXPECT_EQ(StoredFiles(JobFolder()),
              (QMap<QString, QByteArray>{
                  {u"Documents/a.txt"_s, "a"}, {u"Documents/new.txt"_s, "new"}, {u"notes.txt"_s, "notes"}}));
    EXPECT_FALSE(QFileInfo::exists(JobFolder() + u"/Documents/Tax"_s));
    EXPECT_EQ(MainBackupList(), QStringList{u"Syncronization)"_s});
}

TEST_F(BackupRunTest, ChangedBackupTypeStartsAgainFromNothing) {
    MakeExampleJob();
    job->Settings.Backup.BackupType = btSync;
    RunBackup();
    job->Settings.Backup.BackupType = btFull;
    RunBackup();
    EXPECT_TRUE(LogText().contains(
        u"WARNING: Backup type has been changed in the settings. Going to remove existing backup before to run this job."_s));
    EXPECT_EQ(job->LastJobResult.WarningsCount, 1);
    const QStringList subfolders = Subfolders();
    ASSERT_EQ(subfolders.size(), 1);
    EXPECT_FALSE(QFileInfo::exists(JobFolder() + u"/Documents"_s)); // the mirror is gone
    EXPECT_EQ(MainBackupList(), (QStringList{u"Full)"_s, subfolders[0]}));
    EXPECT_TRUE(TakeEventTexts().last().contains(u"is finished with warnings."_s));
}

TEST_F(BackupRunTest, FiltersSkipListAndExclusions) {
    job->Settings.Sources.FilterType = ftIncludeOnly;
    job->Settings.Sources.Extensions = u"jpg;png"_s;
    WriteSource(u"Pics/a.JPG"_s, "1");
    WriteSource(u"Pics/b.jpeg"_s, "2");
    WriteSource(u"Pics/README"_s, "3");
    WriteSource(u"Pics/pagefile.sys"_s, "4");
    WriteSource(u"Pics/node_modules/x.png"_s, "5");
    WriteSource(u"Pics/deep/node_modules/y.png"_s, "6");
    WriteSource(u"Pics/skipme/z.png"_s, "7");
    WriteSource(u"Pics/keep/w.png"_s, "8");
    GlobalOptions().ExcludedDirs = {u"%anypath%/node_modules"_s, Source(u"Pics/skipme"_s).toLower()};
    job->Settings.Sources.List = {Source(u"Pics/*"_s)};
    RunBackup();
    const QString full = Subfolders().value(0);
    EXPECT_EQ(StoredFiles(JobFolder() + u'/' + full).keys(),
              (QStringList{u"Pics/a.JPG"_s, u"Pics/keep/w.png"_s}));
    EXPECT_FALSE(QFileInfo::exists(JobFolder() + u'/' + full + u"/Pics/node_modules"_s));
}

TEST_F(BackupRunTest, ExcludeFilterAndHiddenEntries) {
    job->Settings.Sources.FilterType = ftExclude;
    job->Settings.Sources.Extensions = u"tmp"_s;
    WriteSource(u"D/x.tmp"_s, "1");
    WriteSource(u"D/x.tmp.bak"_s, "2");
    WriteSource(u"D/.hidden/h.txt"_s, "3");
    WriteSource(u"D/.dotfile"_s, "4");
    GlobalOptions().Processing.SkipHiddenSystemFiles = true;
    job->Settings.Sources.List = {Source(u"D/*"_s)};
    RunBackup();
    EXPECT_EQ(StoredFiles(JobFolder() + u'/' + Subfolders().value(0)).keys(), QStringList{u"D/x.tmp.bak"_s});
}

// Links are never followed: each is stored as a small file holding its target and listed as a link.
// A pipe is skipped with a warning, never opened.
TEST_F(BackupRunTest, LinksAreStoredAsTheirTargetsAndSpecialFilesAreSkipped) {
    WriteSource(u"D/real.txt"_s, "real");
    WriteSource(u"Elsewhere/inside.txt"_s, "elsewhere");
    ASSERT_EQ(::symlink(QFile::encodeName(Source(u"D/real.txt"_s)).constData(),
                        QFile::encodeName(Source(u"D/link.txt"_s)).constData()),
              0);
    ASSERT_EQ(::symlink(QFile::encodeName(Source(u"Elsewhere"_s)).constData(),
                        QFile::encodeName(Source(u"D/linked-folder"_s)).constData()),
              0);
    ASSERT_EQ(::symlink("/nonexistent/target", QFile::encodeName(Source(u"D/dangling"_s)).constData()), 0);
    ASSERT_EQ(::mkfifo(QFile::encodeName(Source(u"D/pipe"_s)).constData(), 0600), 0);
    job->Settings.Sources.List = {Source(u"D/*"_s)};
    RunBackup();
    EXPECT_EQ(job->LastJobResult.ErrorsCount, 0) << LogText().toStdString();
    EXPECT_EQ(job->LastJobResult.WarningsCount, 1);
    EXPECT_TRUE(LogText().contains(u"WARNING: Skipped, not a regular file, folder or link: "_s +
                                   Source(u"D/pipe"_s)));
    const QString point = Subfolders().value(0);
    EXPECT_EQ(StoredFiles(JobFolder(point)),
              (QMap<QString, QByteArray>{{u"D/real.txt"_s, "real"},
                                         {u"D/link.txt"_s, Source(u"D/real.txt"_s).toUtf8()},
                                         {u"D/linked-folder"_s, Source(u"Elsewhere"_s).toUtf8()},
                                         {u"D/dangling"_s, "/nonexistent/target"}}));
    EXPECT_EQ(Sorted(ListFile(point, u"_rf.qkl"_s)),
              Sorted({u"D/real.txt"_s, u"/l/D/link.txt"_s, u"/l/D/linked-folder"_s, u"/l/D/dangling"_s}));
}

TEST_F(BackupRunTest, MissingSourceWarnsAndTheOthersGoOn) {
    WriteSource(u"here.txt"_s, "here");
    job->Settings.Sources.List = {Source(u"gone/*"_s), Source(u"here.txt"_s), Source(u"gone.txt"_s)};
    RunBackup();
    EXPECT_EQ(job->LastJobResult.WarningsCount, 2);
    EXPECT_TRUE(LogText().contains(u"WARNING: The source does not exist: "_s + Source(u"gone.txt"_s)));
    EXPECT_EQ(StoredFiles(JobFolder() + u'/' + Subfolders().value(0)).keys(), QStringList{u"here.txt"_s});
}

TEST_F(BackupRunTest, TemporaryFolderInsideASourceIsNotBackedUp) {
    GlobalOptions().General.PathForTempFiles = Source(u"D/tmp"_s);
    WriteSource(u"D/tmp/junk.txt"_s, "junk");
    WriteSource(u"D/doc.txt"_s, "doc");
    job->Settings.Sources.List = {Source(u"D/*"_s)};
    RunBackup();
    EXPECT_EQ(StoredFiles(JobFolder() + u'/' + Subfolders().value(0)).keys(), QStringList{u"D/doc.txt"_s});
}

TEST_F(BackupRunTest, UnreachableStorageEndsCancelledWithoutTouchingIt) {
    MakeExampleJob();
    job->DestinationPath = HomePath(u"no/such/drive"_s);
    RunBackup();
    EXPECT_TRUE(job->LastJobResult.Cancelled);
    EXPECT_EQ(job->JobStatus, jsNone);
    EXPECT_TRUE(job->BackupHistory.last().contains(u"Backup is cancelled. "_s));
    EXPECT_FALSE(QFileInfo::exists(HomePath(u"no"_s)));
}

// Storage that refuses a copy: a file stands where the mirror's folder must go.
class RefusingStorageTest : public BackupRunTest {
protected:
    void SetUp() override {
        BackupRunTest::SetUp();
        MakeExampleJob();
        job->Settings.Backup.BackupType = btSync;
        ASSERT_TRUE(QDir().mkpath(JobFolder()));
        WriteFileBytes(JobFolder() + u"/Documents"_s, "in the way");
    }
    void MakeStorageAcceptAgain() {
        QFile::remove(JobFolder() + u"/Documents"_s);
        QDir().mkpath(JobFolder() + u"/Documents/Tax"_s);
    }
};

TEST_F(RefusingStorageTest, PausePolicyWaitsAndRepeatsTheFailedStepAfterResume) {
    GlobalOptions().Processing.IfDestinationNotAvailable_Then = 1;
    StartAndWaitUntilPaused();
    ASSERT_EQ(job->JobStatus, jsPaused) << LogText().toStdString();
    EXPECT_EQ(job->CurrentFileOperationType, atNone_WaitingForReconnection);
    MakeStorageAcceptAgain();
    Resume();
    job->WaitForWorker();
    EXPECT_FALSE(job->LastJobResult.Cancelled);
    EXPECT_EQ(StoredFiles(JobFolder()).size(), 3);
}

// The folder was "made" while something stood in its place; once the storage takes files again, the
// resumed run makes it for real before copying into it.
TEST_F(RefusingStorageTest, AFolderRefusedBeforeThePauseIsMadeAgainAfterResume) {
    GlobalOptions().Processing.IfDestinationNotAvailable_Then = 1;
    StartAndWaitUntilPaused();
    ASSERT_EQ(job->JobStatus, jsPaused) << LogText().toStdString();
    ASSERT_TRUE(QFile::remove(JobFolder() + u"/Documents"_s));
    Resume();
    for (int i = 0; i < 3000 && job->JobStatus == jsRunning; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(job->JobStatus, jsNone) << LogText().toStdString();
    EXPECT_FALSE(job->LastJobResult.Cancelled);
    EXPECT_EQ(StoredFiles(JobFolder()).size(), 3);
}

TEST_F(RefusingStorageTest, CancelPolicyEndsTheRunAndTheNextRunStartsAfresh) {
    RunBackup();
    EXPECT_TRUE(job->LastJobResult.Cancelled);
    EXPECT_TRUE(
        LogText().contains(u"The job will be cancelled because destination is not accepting the file."_s));
    EXPECT_TRUE(QFileInfo::exists(JobFolder() + u"/_startflag.qkl"_s));

    MakeStorageAcceptAgain();
    RunBackup();
    // The interrupted first mirror run is found: everything it wrote goes, and there is no job copy to
    // remove, so this run starts from nothing and completes.
    EXPECT_TRUE(LogText().contains(
        u"The previous backup has been cancelled and the backup files may be corrupted."_s));
    EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
    EXPECT_EQ(StoredFiles(JobFolder()).size(), 3);
}

TEST_F(RefusingStorageTest, UserCancelOfAPausedRunClosesIt) {
    GlobalOptions().Processing.IfDestinationNotAvailable_Then = 1;
    StartAndWaitUntilPaused();
    ASSERT_EQ(job->JobStatus, jsPaused);
    job->Cancel();
    job->WaitForWorker();
    EXPECT_EQ(job->JobStatus, jsNone);
    EXPECT_TRUE(job->LastJobResult.Cancelled);
    EXPECT_TRUE(job->BackupHistory.last().endsWith(u": Backup is cancelled."_s));
}

// The run's closing files meet the same policy as its copies: a storage that refuses the list of
// permissions at the end makes a paused run wait for the user, and ends a run under the cancel policy.
TEST_F(BackupRunTest, AClosingFileRefusedAtTheEndIsWaitedForUnderThePausePolicy) {
    for (const int policy : {1, 0}) {
        SCOPED_TRACE(policy);
        MakeExampleJob();
        job->Settings.Backup.BackupType = btSync;
        GlobalOptions().Processing.IfDestinationNotAvailable_Then = policy;
        const QString refused = JobFolder() + u"/_rm.qkl"_s;
        ASSERT_TRUE(QDir().mkpath(refused + u"/in the way"_s));
        if (policy == 1) {
            StartAndWaitUntilPaused();
            ASSERT_EQ(job->JobStatus, jsPaused) << LogText().toStdString();
            EXPECT_EQ(job->CurrentFileOperationType, atNone_WaitingForReconnection);
            EXPECT_EQ(StoredFiles(JobFolder()).size(), 3) << "every source file is stored before the lists";
            ASSERT_TRUE(QDir(refused).removeRecursively());
            Resume();
            job->WaitForWorker();
            EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
            EXPECT_TRUE(QFileInfo(refused).isFile());
            EXPECT_FALSE(QFileInfo::exists(JobFolder() + u"/_startflag.qkl"_s));
        } else {
            RunBackup();
            EXPECT_TRUE(job->LastJobResult.Cancelled);
            EXPECT_TRUE(QFileInfo::exists(JobFolder() + u"/_startflag.qkl"_s));
            ASSERT_TRUE(QDir(refused).removeRecursively());
            RunBackup();
            EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
        }
        ASSERT_TRUE(QDir(Dest()).removeRecursively() && QDir().mkpath(Dest()));
    }
}

TEST_F(BackupRunTest, InterruptedFullRunIsSetAsideOrRemoved) {
    MakeExampleJob();
    job->Settings.Backup.BackupType = btFull;
    RunBackup();
    // Leave the storage as a run that died half-way leaves it.
    const QString broken = u"2024-03-06 10;00;00 (Full)"_s;
    ASSERT_TRUE(QDir().mkpath(JobFolder() + u'/' + broken));
    WriteFileBytes(JobFolder() + u"/_startflag.qkl"_s, "\xEF\xBB\xBF" + broken.toUtf8() + "\r\n");
    GlobalOptions().Processing.RemovePreviousBackupIfCancelled = false;
    RunBackup();
    EXPECT_TRUE(QFileInfo(JobFolder() + u'/' + broken + u" CANCELED"_s).isDir());
    EXPECT_EQ(job->LastJobResult.WarningsCount, 1);

    ASSERT_TRUE(QDir().mkpath(JobFolder() + u'/' + broken));
    WriteFileBytes(JobFolder() + u"/_startflag.qkl"_s, "\xEF\xBB\xBF" + broken.toUtf8() + "\r\n");
    GlobalOptions().Processing.RemovePreviousBackupIfCancelled = true;
    RunBackup();
    EXPECT_FALSE(QFileInfo::exists(JobFolder() + u'/' + broken));
    EXPECT_TRUE(LogText().contains(u"We have to remove the previous backup."_s));
    EXPECT_FALSE(job->LastJobResult.Cancelled);
}

TEST_F(BackupRunTest, HostileNamesOnTheStorageAreNeverFollowed) {
    MakeExampleJob();
    job->Settings.Backup.BackupType = btFull;
    RunBackup();
    WriteFileBytes(HomePath(u"victim.txt"_s), "must survive");
    WriteFileBytes(JobFolder() + u"/_startflag.qkl"_s, "\xEF\xBB\xBF../../victim.txt\r\n");
    GlobalOptions().Processing.RemovePreviousBackupIfCancelled = true;
    RunBackup();
    EXPECT_TRUE(job->LastJobResult.Cancelled);
    EXPECT_GE(job->LastJobResult.ErrorsCount, 1);
    EXPECT_EQ(ReadFileBytes(HomePath(u"victim.txt"_s)), "must survive");
}

TEST_F(BackupRunTest, RemoveDeletesTheBackupAndItsJobCopy) {
    MakeExampleJob();
    RunBackup();
    EXPECT_TRUE(job->Remove());
    EXPECT_FALSE(QFileInfo::exists(JobFolder()));
    EXPECT_FALSE(QFileInfo::exists(JobFolder() + u".bmj"_s));
    EXPECT_FALSE(job->Remove()); // nothing left to remove
}

// Whether the storage was reached is decided on the connection's result, never on its text: no
// catalogue changes the decision, not even one whose "ERROR:" every local job folder begins with.
TEST_F(BackupRunTest, CatalogueOfTheJobNeverChangesWhetherTheStorageWasReached) {
    const std::optional<TTranslationTable> shipped =
        ParseTranslationFile(ReadFileBytes(QStringLiteral(MORVANE_SOURCE_DIR "/data/transl.dt")));
    ASSERT_TRUE(shipped.has_value());
    TTranslationTable misleading = *shipped;
    const qsizetype errorRow = misleading[0].indexOf(u"ERROR:"_s);
    ASSERT_GE(errorRow, 0);
    misleading[1][errorRow] = u"/"_s;
    struct Case {
        const char* name;
        int language;
        TTranslationTable table;
        QString errorMark;
    };
    const Case cases[] = {
        {"English", 0, *shipped, u"ERROR:"_s},
        {"German", 1, *shipped, u"FEHLER:"_s},
        {"German, error mark a path prefix", 1, misleading, u"/"_s},
    };
    MakeExampleJob();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        GlobalOptions().Language.iLanguage = c.language;
        GlobalOptions().Language.Translations = c.table;

        job->DestinationPath = HomePath(u"no/such/drive"_s);
        RunBackup();
        EXPECT_TRUE(job->LastJobResult.Cancelled);
        EXPECT_EQ(job->LastJobResult.ErrorsCount, 1);
        EXPECT_TRUE(LogText().contains(u": "_s + c.errorMark + u' ')) << LogText().toStdString();
        EXPECT_FALSE(QFileInfo::exists(HomePath(u"no"_s)));

        job->DestinationPath = Dest();
        RunBackup();
        EXPECT_FALSE(job->LastJobResult.Cancelled) << LogText().toStdString();
        EXPECT_EQ(job->LastJobResult.ErrorsCount, 0);
        EXPECT_EQ(ReadFileBytes(JobFolder(Subfolders().value(0) + u"/Documents/a.txt"_s)), "a");

        EXPECT_TRUE(job->Remove());
        EXPECT_FALSE(QFileInfo::exists(JobFolder()));
        job->DestinationPath = HomePath(u"no/such/drive"_s);
        EXPECT_FALSE(job->Remove());
        EXPECT_TRUE(TakePendingEvents().join(u'\n').contains(c.errorMark + u' '));
    }
}

} // namespace
} // namespace morvane
