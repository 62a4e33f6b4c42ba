#include "fixtures/temp_home.h"
#include "jobs/job.h"
#include "platform/local_files.h"
#include "storage_test_support.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <iostream>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::CountLines;
using testing::LogTexts;
using testing::ReadFileBytes;
using testing::WriteFileBytes;

dev_t DeviceOf(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_dev : 0;
}

class FileOperationTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        testing::PrepareJob(job, HomePath(u"tmp"_s));
        QDir().mkpath(HomePath(u"src"_s));
        QDir().mkpath(HomePath(u"store"_s));
        QDir().mkpath(HomePath(u"tmp/Docs"_s));
    }
    QString Src(const QString& name) const { return HomePath(u"src/"_s + name); }
    QString Store(const QString& name) const { return HomePath(u"store/"_s + name); }
    static void MakeReadOnly(const QString& path) {
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadUser | QFile::ReadGroup);
    }
    static bool IsReadOnly(const QString& path) {
        TLocalEntry entry;
        LocalStat(path, entry);
        return entry.ReadOnly;
    }

    TJob_FilesAndFolders job{u"Docs"_s};
};

TEST_F(FileOperationTest, FailedAttemptsAreLoggedAndRetriedRetryCountTimes) {
    struct Case {
        int retryCount;
        bool logError;
        int errorLines;
        int retryLines;
    };
    const Case cases[] = {{0, true, 1, 0}, {2, true, 3, 2}, {2, false, 0, 2}, {-1, true, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.retryCount);
        job.LastJobResult.Log.clear();
        job.LastJobResult.ErrorsCount = 0;
        const TOperationResult result = job.FileOperation(atRemoveRemoteFile, QString(),
                                                          Store(u"missing.txt"_s), c.retryCount, c.logError);
        EXPECT_EQ(result, orERROR_RemoteAccess);
        EXPECT_EQ(CountLines(job, u"ERROR: The specified file was not found"_s), c.errorLines);
        EXPECT_EQ(CountLines(job, u"Retry after 0 seconds."_s), c.retryLines);
        EXPECT_EQ(job.LastJobResult.ErrorsCount, c.errorLines);
        EXPECT_EQ(job.LastJobResult.Log.size(), c.errorLines + c.retryLines);
    }
}

TEST_F(FileOperationTest, CopyToStorageKeepsContentTimeAndModeAndCountsSize) {
    const QByteArray content(100'000, 'x');
    WriteFileBytes(Src(u"a.txt"_s), content);
    const QDateTime stamp = QDateTime::fromSecsSinceEpoch(1'600'000'000);
    {
        QFile file(Src(u"a.txt"_s));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(stamp, QFileDevice::FileModificationTime);
    }
    MakeReadOnly(Src(u"a.txt"_s));
    EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFile, Src(u"a.txt"_s), Store(u"a.txt"_s), 0, true),
              orSuccess);
    EXPECT_EQ(ReadFileBytes(Store(u"a.txt"_s)), content);
    EXPECT_EQ(QFileInfo(Store(u"a.txt"_s)).lastModified(), stamp);
    EXPECT_TRUE(IsReadOnly(Store(u"a.txt"_s)));
    EXPECT_EQ(job.CurrentBackupSize, 100'000);
    EXPECT_EQ(job.CurrentFileOperationProgress, 100);
    EXPECT_EQ(LogTexts(job), QStringList{u"Copying the file: "_s + Src(u"a.txt"_s)});
    EXPECT_EQ(job.CurrentFileOperationPath.Text(), Src(u"a.txt"_s));
}

TEST_F(FileOperationTest, ReadOnlyTargetIsMadeWritableOnEachAttemptAndReplaced) {
    WriteFileBytes(Src(u"a.txt"_s), "new");
    WriteFileBytes(Store(u"a.txt"_s), "old");
    MakeReadOnly(Store(u"a.txt"_s));
    EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFile, Src(u"a.txt"_s), Store(u"a.txt"_s), 2, true),
              orSuccess);
    EXPECT_EQ(ReadFileBytes(Store(u"a.txt"_s)), "new");
    EXPECT_EQ(CountLines(job, u"Removing the read-only attribute: "_s + Store(u"a.txt"_s)), 1);

    // A scanned file by way of its temporary copy replaces a read-only file the same way.
    WriteFileBytes(Src(u"c.txt"_s), "third");
    MakeReadOnly(Store(u"a.txt"_s));
    EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFileThroughTempFolder, Src(u"c.txt"_s),
                                Store(u"a.txt"_s), 0, true),
              orSuccess);
    EXPECT_EQ(ReadFileBytes(Store(u"a.txt"_s)), "third");
    EXPECT_EQ(CountLines(job, u"Removing the read-only attribute: "_s + Store(u"a.txt"_s)), 2);

    // Copying back over a read-only local file works the same way.
    WriteFileBytes(Src(u"b.txt"_s), "stale");
    MakeReadOnly(Src(u"b.txt"_s));
    EXPECT_EQ(job.FileOperation(atCopyFromRemoteToLocalFile, Src(u"b.txt"_s), Store(u"a.txt"_s), 0, true),
              orSuccess);
    EXPECT_EQ(ReadFileBytes(Src(u"b.txt"_s)), "third");
    EXPECT_EQ(CountLines(job, u"Removing the read-only attribute: "_s + Src(u"b.txt"_s)), 1);
}

TEST_F(FileOperationTest, InternalFilesAreCopiedSilentlyWhenTheOptionSaysSo) {
    job.JobOptions.Logging.DontLogCopyingInternalFiles = true;
    struct Case {
        const char* name;
        bool logged;
    };
    const Case cases[] = {{"job.bmj", false}, {"_rf.qkl", false}, {"JOB.BMJ", true}, {"notes.txt", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString name = QString::fromLatin1(c.name);
        WriteFileBytes(Src(name), "x");
        job.LastJobResult.Log.clear();
        EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFile, Src(name), Store(name), 0, true), orSuccess);
        EXPECT_EQ(CountLines(job, u"Copying the file:"_s), c.logged ? 1 : 0);
        job.LastJobResult.Log.clear();
        EXPECT_EQ(job.FileOperation(atRemoveRemoteFile, QString(), Store(name), 0, true), orSuccess);
        EXPECT_EQ(CountLines(job, u"Removing the file:"_s), c.logged ? 1 : 0);
    }
    QDir().mkpath(Store(u"run.qkl"_s));
    job.LastJobResult.Log.clear();
    EXPECT_EQ(job.FileOperation(atRemoveRemoteNotEmptyFolder, QString(), Store(u"run.qkl"_s), 0, true),
              orSuccess);
    EXPECT_EQ(CountLines(job, u"Removing the full directory:"_s), 1);
}

TEST_F(FileOperationTest, MissingLocalFileEndsTheCopyWithoutRetry) {
    EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFile, Src(u"none"_s), Store(u"none"_s), 2, true),
              orERROR_LocalAccess);
    EXPECT_EQ(LogTexts(job), (QStringList{u"Copying the file: "_s + Src(u"none"_s),
                                          u"ERROR: The file does not exist. "_s + Src(u"none"_s)}));
    EXPECT_EQ(job.LastJobResult.ErrorsCount, 1);
    EXPECT_FALSE(QFile::exists(Store(u"none"_s)));

    // A missing file on the storage is an ordinary failure, retried like any other.
    job.LastJobResult.Log.clear();
    EXPECT_EQ(job.FileOperation(atCopyFromRemoteToLocalFile, Src(u"none"_s), Store(u"none"_s), 1, true),
              orERROR_RemoteAccess);
    EXPECT_EQ(CountLines(job, u"ERROR: The file does not exist."_s), 2);
}

TEST_F(FileOperationTest, FailedCopyShowsTheSystemErrorAndCountsTheSizeOnce) {
    WriteFileBytes(Src(u"a.txt"_s), "12345");
    const QString target = Store(u"no-such-folder/a.txt"_s);
    EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFile, Src(u"a.txt"_s), target, 2, true),
              orERROR_RemoteAccess);
    EXPECT_EQ(CountLines(job, u"ERROR: System Error.  Code: 2.No such file or directory"_s), 3);
    EXPECT_EQ(CountLines(job, u"Copying the file:"_s), 3);
    EXPECT_EQ(job.CurrentBackupSize, 5);
    EXPECT_EQ(job.CurrentFileOperationProgress, 0);
}

TEST_F(FileOperationTest, CopyThroughTemporaryFolderUsesAndRemovesTheTemporaryCopy) {
    WriteFileBytes(Src(u"report.docx"_s), "report");
    EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFileThroughTempFolder, Src(u"report.docx"_s),
                                Store(u"report.docx"_s), 0, true),
              orSuccess);
    EXPECT_EQ(ReadFileBytes(Store(u"report.docx"_s)), "report");
    EXPECT_EQ(LogTexts(job), QStringList{u"Copying the file: "_s + Src(u"report.docx"_s)});
    EXPECT_FALSE(QFile::exists(HomePath(u"tmp/Docs/report.docx"_s)));
    EXPECT_EQ(job.CurrentFileOperationType, atCopyFromLocalToRemoteFile);

    // A retry after the temporary copy names the temporary file.
    job.LastJobResult.Log.clear();
    EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFileThroughTempFolder, Src(u"report.docx"_s),
                                Store(u"gone/report.docx"_s), 1, true),
              orERROR_RemoteAccess);
    EXPECT_EQ(CountLines(job, u"Copying the file: "_s + HomePath(u"tmp/Docs/report.docx"_s)), 1);
    EXPECT_FALSE(QFile::exists(HomePath(u"tmp/Docs/report.docx"_s)));
}

TEST_F(FileOperationTest, TemporaryCopyFailuresAreLocalAndNeverRetried) {
    EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFileThroughTempFolder, Src(u"none"_s),
                                Store(u"none"_s), 2, true),
              orERROR_LocalAccess);
    EXPECT_EQ(LogTexts(job),
              (QStringList{u"Copying the file: "_s + Src(u"none"_s), u"ERROR: The file does not exist."_s}));

    // The job's temporary folder is missing: the temporary copy itself fails.
    WriteFileBytes(Src(u"a.txt"_s), "a");
    job.JobOptions.General.PathForTempFiles = HomePath(u"missing-tmp"_s);
    job.LastJobResult.Log.clear();
    EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFileThroughTempFolder, Src(u"a.txt"_s),
                                Store(u"a.txt"_s), 2, true),
              orERROR_LocalAccess);
    EXPECT_EQ(CountLines(job, u"ERROR: System Error.  Code: 2."_s), 1);
    EXPECT_EQ(CountLines(job, u"Retry after"_s), 0);
}

TEST_F(FileOperationTest, ZeroByteFileCopiesWithProgressZero) {
    WriteFileBytes(Src(u"empty"_s), QByteArray());
    EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFile, Src(u"empty"_s), Store(u"empty"_s), 0, true),
              orSuccess);
    EXPECT_TRUE(QFile::exists(Store(u"empty"_s)));
    EXPECT_EQ(QFileInfo(Store(u"empty"_s)).size(), 0);
    EXPECT_EQ(job.CurrentFileOperationProgress, 0);
}

// The canceller acts only once the storage side of the copy published progress, so this also shows
// progress during a copy. A target that existed keeps its previous content; a new one is removed.
TEST_F(FileOperationTest, CancelDuringALongCopyKeepsThePreviousTargetAndLeavesNoPartialFile) {
    struct Case {
        TFileOperationType type;
        bool targetExists;
    };
    const Case cases[] = {
        {atCopyFromLocalToRemoteFile, true},
        {atCopyFromLocalToRemoteFileThroughTempFolder, true},
        {atCopyFromLocalToRemoteFileThroughTempFolder, false},
        {atCopyFromRemoteToLocalFile, true},
        {atCopyFromRemoteToLocalFile, false},
    };
    // A temporary copy on the storage's own file system is moved into place, which no cancel stops
    // half-way: the copies through the temporary folder make it on another file system.
    QTemporaryDir otherVolume(u"/dev/shm/morvane-test-XXXXXX"_s);
    const bool otherVolumeUsable =
        otherVolume.isValid() && DeviceOf(otherVolume.path()) != DeviceOf(Store({}));
    const QString big = Src(u"big.bin"_s);
    {
        // Allocated rather than sparse: a copy skips holes and would be over before the cancel.
        QFile file(big);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(::posix_fallocate(file.handle(), 0, off_t(512) << 20), 0);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.type) * 10 + int(c.targetExists));
        const bool throughTemp = c.type == atCopyFromLocalToRemoteFileThroughTempFolder;
        if (throughTemp && !otherVolumeUsable) {
            std::cerr << "no second file system for the temporary folder: case left out\n";
            continue;
        }
        job.JobOptions.General.PathForTempFiles = throughTemp ? otherVolume.path() : HomePath(u"tmp"_s);
        QDir().mkpath(job.JobOptions.General.PathForTempFiles + u"/Docs"_s);
        QDir(Store(QString())).removeRecursively();
        QDir().mkpath(Store(QString()));
        const bool toStorage = c.type != atCopyFromRemoteToLocalFile;
        const QString target = toStorage ? Store(u"big.bin"_s) : Store(u"restored.bin"_s);
        const QString source = toStorage ? big : Store(u"big.bin"_s);
        if (!toStorage) {
            ASSERT_TRUE(QFile::copy(big, source));
        }
        if (c.targetExists)
            WriteFileBytes(target, "previous");
        const TFileOperationType storageSide = toStorage ? atCopyFromLocalToRemoteFile : c.type;
        job.LastJobResult.Log.clear();
        job.LastJobResult.ErrorsCount = 0;
        std::atomic<bool> done{false};
        std::thread canceller([&] {
            while (!done && (job.CurrentFileOperationType.load() != storageSide ||
                             job.CurrentFileOperationProgress.load() == 0))
                std::this_thread::yield();
            job.CancelCurrentFileOperation = -1;
        });
        const TOperationResult result = toStorage ? job.FileOperation(c.type, source, target, 2, true)
                                                  : job.FileOperation(c.type, target, source, 2, true);
        done = true;
        canceller.join();
        EXPECT_EQ(result, orERROR_RemoteAccess);
        EXPECT_EQ(CountLines(job, u"ERROR: System Error.  Code: 125."_s), 1);
        EXPECT_EQ(CountLines(job, u"Retry after"_s), 0);
        EXPECT_EQ(job.LastJobResult.ErrorsCount, 1);
        QStringList expected;
        if (!toStorage)
            expected << u"big.bin"_s;
        if (c.targetExists) {
            EXPECT_EQ(ReadFileBytes(target), "previous");
            expected << QFileInfo(target).fileName();
        }
        expected.sort();
        EXPECT_EQ(QDir(Store(QString())).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
        EXPECT_TRUE(QDir(job.JobOptions.General.PathForTempFiles + u"/Docs"_s).isEmpty());
        EXPECT_EQ(job.CancelCurrentFileOperation, 0);
    }
}

TEST_F(FileOperationTest, FolderActionsOnTheStorage) {
    // Creating a nested folder, then removing it while empty.
    EXPECT_EQ(job.FileOperation(atCreateRemoteFolder, QString(), Store(u"a/b/c"_s), 0, true), orSuccess);
    EXPECT_TRUE(QFileInfo(Store(u"a/b/c"_s)).isDir());
    EXPECT_EQ(job.FileOperation(atCreateRemoteFolder, QString(), Store(u"a/b/c"_s), 0, true), orSuccess);
    EXPECT_EQ(job.FileOperation(atRemoveRemoteEmptyFolder, QString(), Store(u"a/b/c"_s), 0, true), orSuccess);
    EXPECT_FALSE(QFile::exists(Store(u"a/b/c"_s)));

    // A missing folder counts as removed.
    job.LastJobResult.Log.clear();
    EXPECT_EQ(job.FileOperation(atRemoveRemoteEmptyFolder, QString(), Store(u"none"_s), 0, true), orSuccess);
    EXPECT_EQ(job.FileOperation(atRemoveRemoteNotEmptyFolder, QString(), Store(u"none"_s), 0, true),
              orSuccess);
    EXPECT_EQ(job.LastJobResult.ErrorsCount, 0);

    // A full folder with a read-only file inside a read-only folder goes entirely.
    QDir().mkpath(Store(u"full/sub"_s));
    WriteFileBytes(Store(u"full/sub/f.txt"_s), "f");
    MakeReadOnly(Store(u"full/sub/f.txt"_s));
    QFile::setPermissions(Store(u"full/sub"_s), QFile::ReadOwner | QFile::ExeOwner);
    EXPECT_EQ(job.FileOperation(atRemoveRemoteNotEmptyFolder, QString(), Store(u"full"_s), 0, true),
              orSuccess);
    EXPECT_FALSE(QFile::exists(Store(u"full"_s)));

    // Renaming onto an existing folder fails without touching either.
    QDir().mkpath(Store(u"old/x"_s));
    QDir().mkpath(Store(u"taken"_s));
    job.LastJobResult.Log.clear();
    EXPECT_EQ(job.FileOperation(atRenameRemoteFolder, Store(u"taken"_s), Store(u"old"_s), 0, true),
              orERROR_RemoteAccess);
    EXPECT_EQ(LogTexts(job), (QStringList{u"Renaming the directory: "_s + Store(u"old"_s),
                                          u"ERROR: The specified directory already exists"_s}));
    EXPECT_EQ(job.FileOperation(atRenameRemoteFolder, Store(u"new"_s), Store(u"old"_s), 0, true), orSuccess);
    EXPECT_TRUE(QFileInfo(Store(u"new/x"_s)).isDir());
}

TEST_F(FileOperationTest, FileRemovalAndRename) {
    WriteFileBytes(Store(u"a.txt"_s), "a");
    WriteFileBytes(Store(u"b.txt"_s), "b");
    job.LastJobResult.Log.clear();
    EXPECT_EQ(job.FileOperation(atRenameRemoteFile, Store(u"b.txt"_s), Store(u"a.txt"_s), 0, true),
              orERROR_RemoteAccess);
    EXPECT_EQ(CountLines(job, u"ERROR: The specified file already exists"_s), 1);
    EXPECT_EQ(ReadFileBytes(Store(u"b.txt"_s)), "b");
    EXPECT_EQ(job.FileOperation(atRenameRemoteFile, Store(u"c.txt"_s), Store(u"a.txt"_s), 0, true),
              orSuccess);
    EXPECT_EQ(ReadFileBytes(Store(u"c.txt"_s)), "a");

    MakeReadOnly(Store(u"c.txt"_s));
    job.LastJobResult.Log.clear();
    EXPECT_EQ(job.FileOperation(atRemoveRemoteFile, QString(), Store(u"c.txt"_s), 0, true), orSuccess);
    EXPECT_EQ(LogTexts(job), (QStringList{u"Removing the read-only attribute: "_s + Store(u"c.txt"_s),
                                          u"Removing the file: "_s + Store(u"c.txt"_s)}));
    EXPECT_FALSE(QFile::exists(Store(u"c.txt"_s)));
}

TEST_F(FileOperationTest, NoActionTypesSucceedWithoutLogging) {
    for (const TFileOperationType type : {atNone, atNone_WaitingForReconnection}) {
        EXPECT_EQ(job.FileOperation(type, QString(), Store(u"x"_s), 0, true), orSuccess);
        EXPECT_EQ(job.CurrentFileOperationType, type);
    }
    EXPECT_TRUE(job.LastJobResult.Log.isEmpty());
}

TEST_F(FileOperationTest, UnbufferedCopyMatchesTheSource) {
    job.JobOptions.Processing.DontUseBufferingForCopyOperations = true;
    QByteArray content;
    for (int i = 0; i < 3 * 1024 * 1024 + 123; ++i)
        content.append(static_cast<char>(i * 7));
    WriteFileBytes(Src(u"odd.bin"_s), content);
    EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFile, Src(u"odd.bin"_s), Store(u"odd.bin"_s), 0, true),
              orSuccess);
    EXPECT_EQ(ReadFileBytes(Store(u"odd.bin"_s)), content);
    EXPECT_EQ(job.CurrentFileOperationProgress, 100);
}

// Every action on a folder deeper than the system's path limit, with names of the longest length.
TEST_F(FileOperationTest, PathsBeyondTheSystemLimitWorkForEveryAction) {
    const QString longName(NAME_MAX, u'n');
    QString deep = Store(QString());
    while (deep.toUtf8().size() <= PATH_MAX + 200)
        deep += QString(200, u'd') + u'/';
    deep += u"leaf"_s;
    const QString file = deep + u'/' + longName;
    WriteFileBytes(Src(u"a.txt"_s), "deep");

    EXPECT_EQ(job.FileOperation(atCreateRemoteFolder, QString(), deep, 0, true), orSuccess);
    EXPECT_EQ(job.FileOperation(atCopyFromLocalToRemoteFile, Src(u"a.txt"_s), file, 0, true), orSuccess);
    // A file renamed onto itself is refused: the one error this test expects.
    EXPECT_EQ(job.FileOperation(atRenameRemoteFile, file, file, 0, true), orERROR_RemoteAccess);
    const QString renamed = deep + u"/renamed"_s;
    EXPECT_EQ(job.FileOperation(atRenameRemoteFile, renamed, file, 0, true), orSuccess);
    EXPECT_EQ(job.FileOperation(atCopyFromRemoteToLocalFile, Src(u"back.txt"_s), renamed, 0, true),
              orSuccess);
    EXPECT_EQ(ReadFileBytes(Src(u"back.txt"_s)), "deep");
    EXPECT_EQ(job.FileOperation(atRenameRemoteFolder, deep + u"2"_s, deep, 0, true), orSuccess);
    EXPECT_EQ(job.FileOperation(atRemoveRemoteFile, QString(), deep + u"2/renamed"_s, 0, true), orSuccess);
    EXPECT_EQ(job.FileOperation(atRemoveRemoteEmptyFolder, QString(), deep + u"2"_s, 0, true), orSuccess);
    TLocalEntry entry;
    LocalStat(deep + u"2"_s, entry);
    EXPECT_FALSE(entry.Exists);
    EXPECT_EQ(job.FileOperation(atRemoveRemoteNotEmptyFolder, QString(), Store(QString(200, u'd')), 0, true),
              orSuccess);
    EXPECT_FALSE(QFile::exists(Store(QString(200, u'd'))));
    EXPECT_EQ(job.LastJobResult.ErrorsCount, 1);
}

// The wait before a retry is shown as such, with the moment of the next attempt, and a cancel ends it
// at once, by the flag or by the run turning to cancelling. A run that was cancelling already (its
// closing steps) keeps its retries.
TEST_F(FileOperationTest, ACancelEndsTheWaitBeforeARetry) {
    job.JobOptions.Processing.IfDestinationNotAvailable_Wait_Sec = 60;
    for (const bool byFlag : {true, false}) {
        SCOPED_TRACE(byFlag);
        job.LastJobResult.Log.clear();
        job.JobStatus = jsRunning;
        bool sawWait = false;
        TDateTime deadline = 0;
        std::thread canceller([&] {
            const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (job.CurrentFileOperationType.load() != atNone_WaitingForReconnection &&
                   std::chrono::steady_clock::now() < giveUp)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            sawWait = job.CurrentFileOperationType.load() == atNone_WaitingForReconnection;
            deadline = job.RetryDeadline;
            if (byFlag)
                job.CancelCurrentFileOperation = -1;
            else
                job.JobStatus = jsCancelling;
        });
        const TDateTime start = Now();
        const TOperationResult result =
            job.FileOperation(atRemoveRemoteFile, QString(), Store(u"missing.txt"_s), 5, true);
        canceller.join();
        EXPECT_EQ(result, orERROR_RemoteAccess);
        EXPECT_TRUE(sawWait);
        EXPECT_NEAR((deadline - start) * 24 * 3600, 60, 5);
        EXPECT_EQ(CountLines(job, u"ERROR:"_s), 1); // no attempt after the cancelled wait
        EXPECT_EQ(CountLines(job, u"Retry after 60 seconds."_s), 1);
        EXPECT_EQ(job.RetryDeadline, 0);
        EXPECT_EQ(job.CurrentFileOperationType, atRemoveRemoteFile);
    }

    job.JobOptions.Processing.IfDestinationNotAvailable_Wait_Sec = 0;
    job.JobStatus = jsCancelling;
    job.LastJobResult.Log.clear();
    EXPECT_EQ(job.FileOperation(atRemoveRemoteFile, QString(), Store(u"missing.txt"_s), 2, true),
              orERROR_RemoteAccess);
    EXPECT_EQ(CountLines(job, u"ERROR:"_s), 3);
}

} // namespace
} // namespace morvane
