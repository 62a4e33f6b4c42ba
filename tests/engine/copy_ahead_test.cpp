// Copies made ahead of a run's file operations: the copy-ahead itself (its bounds, the copies it drops
// and removes), and whole runs, which must log, count and record exactly what they do without it.

#include "engine/backup_fixture.h"
#include "engine/copy_ahead.h"

#include "jobs/run_log.h"
#include "options/options.h"
#include "storage/storage_faults.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

using testing::ReadFileBytes;
using testing::TreeContents;
using testing::WriteFileBytes;

using testing::WaitUntil;

QStringList FilesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

class CopyAheadTest : public testing::TempHomeTest {
protected:
    QString Folder() const { return HomePath(u"ahead"_s); }
    QString Source(int number) const { return HomePath(u"src/"_s + QString::number(number)); }
    void WriteSources(int count, qsizetype size) {
        for (int i = 0; i < count; ++i)
            WriteFileBytes(Source(i), QByteArray(size, char('a' + i)));
    }
    // Takes the copy of source `number`, checks its content and removes it as a file operation would.
    void TakeAndCheck(TCopyAhead& ahead, int number, qsizetype size) {
        const std::optional<TPreparedCopy> copy = ahead.Take(Source(number));
        ASSERT_TRUE(copy.has_value()) << number;
        EXPECT_EQ(copy->SourceSize, size);
        EXPECT_EQ(ReadFileBytes(copy->Path), QByteArray(size, char('a' + number)));
        ASSERT_TRUE(QFile::remove(copy->Path));
    }
    // Lets the worker make what it is allowed to, then the number of copies waiting.
    int SettledCopies() {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return int(FilesIn(Folder()).size());
    }
};

// Copies never outnumber nor outweigh the limits; taking one lets the next be made.
TEST_F(CopyAheadTest, HoldsNoMoreThanItsLimits) {
    struct Case {
        const char* name;
        TCopyAheadLimits limits;
        qsizetype size;
        int held;
    };
    const Case cases[] = {
        {"by count", {2, 1 << 20}, 10, 2},
        {"by bytes", {64, 25}, 10, 2},
        {"one above the byte limit alone", {64, 10}, 10, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteSources(5, c.size);
        TCopyAhead ahead(Folder(), c.limits, false, true);
        for (int i = 0; i < 5; ++i)
            ahead.Offer(Source(i), c.size);
        ASSERT_TRUE(WaitUntil([&] { return FilesIn(Folder()).size() >= c.held; }));
        EXPECT_EQ(SettledCopies(), c.held);
        TakeAndCheck(ahead, 0, c.size);
        ASSERT_TRUE(WaitUntil([&] { return FilesIn(Folder()).size() >= c.held; }));
        EXPECT_EQ(SettledCopies(), c.held);
        for (int i = 1; i < 5; ++i)
            TakeAndCheck(ahead, i, c.size);
    }
}

// What is not there to take: a file too large to copy ahead, one that could not be read, one never
// offered; a file taken out of turn drops the copies offered before it.
TEST_F(CopyAheadTest, GivesOnlyFinishedCopiesOfTheFileAsked) {
    WriteSources(4, 10);
    TCopyAhead ahead(Folder(), {8, 100}, false, true);
    ahead.Offer(Source(0), 10);
    ahead.Offer(HomePath(u"src/missing"_s), 10);
    ahead.Offer(Source(1), 10);
    ahead.Offer(Source(2), 10);
    ahead.Offer(Source(3), 101);
    ASSERT_TRUE(WaitUntil([&] { return FilesIn(Folder()).size() == 3; }));
    EXPECT_EQ(SettledCopies(), 3);
    EXPECT_FALSE(ahead.Take(HomePath(u"src/missing"_s)).has_value());
    EXPECT_FALSE(ahead.Take(Source(0)).has_value()) << "dropped when a later file was taken";
    TakeAndCheck(ahead, 2, 10);
    EXPECT_FALSE(ahead.Take(Source(1)).has_value()) << "dropped when a later file was taken";
    EXPECT_FALSE(ahead.Take(Source(3)).has_value()) << "above the byte limit";
    EXPECT_EQ(SettledCopies(), 0);
}

// Ending it, also in the middle of copies, leaves nothing behind, and removes what a crash left.
TEST_F(CopyAheadTest, LeavesNothingBehind) {
    WriteFileBytes(Folder() + u"/7"_s, "left by a crash");
    WriteSources(3, 1 << 20);
    for (const int offered : {0, 1, 3}) {
        {
            TCopyAhead ahead(Folder(), {}, false);
            for (int i = 0; i < offered; ++i)
                ahead.Offer(Source(i), 1 << 20);
        }
        EXPECT_FALSE(QFileInfo::exists(Folder())) << offered;
    }
}

// Whole runs: with copies made ahead (and a storage failure at one chosen operation), the run log,
// counters, list files and storage are those of the same run without them, and no temporary file stays.
struct RunCase {
    const char* name;
    TBackupType type;
    bool secondRun; // the compared run follows a first one and some changes
    QByteArray fault;
    int policy; // after a storage failure: 0 cancel, 1 pause
    bool cancelWhenPaused;
    bool cancelled; // how the run ends
};

class CopyAheadRunTest : public testing::BackupTest, public ::testing::WithParamInterface<RunCase> {
protected:
    struct Outcome {
        QStringList Log;
        QMap<QString, QByteArray> Stored; // list files and the job's storage copy included
        QList<int64_t> Counters;
        QStringList TempLeft;
    };

    void SetUp() override {
        BackupTest::SetUp();
        for (int folder = 0; folder < 3; ++folder)
            for (int file = 0; file < 8; ++file)
                WriteSource(u"Docs/f%1/n%2.txt"_s.arg(folder).arg(file),
                            QByteArray(100 * (file + 1) + folder, char('a' + file)), file);
        WriteSource(u"Docs/same.txt"_s, "top");
        WriteSource(u"Docs/f1/same.txt"_s, "inner");
        WriteSource(u"Docs/empty"_s, "");
        ASSERT_EQ(::chmod(QFile::encodeName(Source(u"Docs/f0/n1.txt"_s)).constData(), 0444), 0);
        ASSERT_TRUE(QFile::link(u"n2.txt"_s, Source(u"Docs/f2/link"_s)));
    }
    void TearDown() override {
        qunsetenv("MORVANE_FAULT");
        qunsetenv("MORVANE_COPY_AHEAD");
        ReloadStorageFaults();
        BackupTest::TearDown();
    }

    void ChangeSources() {
        for (int file = 0; file < 8; ++file)
            WriteSource(u"Docs/f0/n%1.txt"_s.arg(file), "changed " + QByteArray::number(file), 50);
        WriteSource(u"Docs/f1/new.txt"_s, "new", 50);
        RemoveSource(u"Docs/f2/n4.txt"_s);
    }

    void NewJob() {
        job = std::make_unique<TJob_FilesAndFolders>(u"Docs"_s);
        job->DestinationPath = Dest();
        job->Settings.Sources.List = {Source(u"Docs/*"_s)};
        job->Settings.Backup.BackupType = GetParam().type;
        GlobalOptions().Processing.IfDestinationNotAvailable_Then = GetParam().policy;
    }

    static void UseEnvironment(const char* copyAhead, const QByteArray& fault) {
        qputenv("MORVANE_COPY_AHEAD", copyAhead);
        if (fault.isEmpty())
            qunsetenv("MORVANE_FAULT");
        else
            qputenv("MORVANE_FAULT", fault);
        ReloadStorageFaults();
    }

    // The storage as the compared run starts from: empty, or after a first run and some changes.
    void PrepareStorage() {
        if (!GetParam().secondRun)
            return;
        UseEnvironment("0", {});
        NewJob();
        RunBackup();
        ChangeSources();
        std::filesystem::copy(Dest().toStdString(), HomePath(u"saved"_s).toStdString(),
                              std::filesystem::copy_options::recursive);
    }
    void RestoreStorage() {
        ASSERT_TRUE(QDir(Dest()).removeRecursively());
        ASSERT_TRUE(QDir().mkpath(Dest()));
        if (GetParam().secondRun)
            std::filesystem::copy(HomePath(u"saved"_s).toStdString(), Dest().toStdString(),
                                  std::filesystem::copy_options::recursive);
    }

    Outcome Run(const char* copyAhead) {
        RestoreStorage();
        if (job) { // a run's name is unique among the job's log files: the other run's must go
            EXPECT_TRUE(QDir(JobLogFolder(*job)).removeRecursively());
        }
        UseEnvironment(copyAhead, GetParam().fault);
        clock.Set(QDateTime(QDate(2024, 4, 1), QTime(10, 0, 0)));
        NewJob();
        if (GetParam().cancelWhenPaused) {
            StartAndWaitUntilPaused();
            EXPECT_EQ(job->JobStatus, jsPaused) << LogText().toStdString();
            job->Cancel();
        } else {
            job->Backup();
        }
        job->WaitForWorker();
        return Collect();
    }

    Outcome Collect() const {
        Outcome outcome;
        static const QRegularExpression timeOfDay(u"^\\d\\d\\D\\d\\d\\D\\d\\d: "_s);
        // A run's private temporary folder has a name of its own each time.
        static const QRegularExpression privateFolder(u"private-\\w+"_s);
        for (QString line : job->LastJobResult.Log)
            outcome.Log.append(line.remove(timeOfDay).replace(privateFolder, u"private-*"_s));
        outcome.Stored = TreeContents(Dest());
        outcome.Counters = {job->LastJobResult.ErrorsCount.load(), job->LastJobResult.WarningsCount.load(),
                            job->CurrentBackupFilesProcessed.load(), job->CurrentBackupSize.load(),
                            job->LastJobResult.Cancelled ? 1 : 0};
        outcome.TempLeft = TreeContents(job->JobOptions.General.PathForTempFiles).keys();
        return outcome;
    }
};

TEST_P(CopyAheadRunTest, IsTheSameRunWithCopiesMadeAhead) {
    PrepareStorage();
    const Outcome sequential = Run("0");
    EXPECT_EQ(sequential.TempLeft, QStringList());
    // "wait": every temporary copy comes from the copy-ahead; "1": as a run does, whichever is first.
    for (const char* copyAhead : {"wait", "1"}) {
        SCOPED_TRACE(copyAhead);
        const Outcome overlapped = Run(copyAhead);
        EXPECT_EQ(overlapped.Log, sequential.Log);
        EXPECT_EQ(overlapped.Stored.keys(), sequential.Stored.keys());
        EXPECT_TRUE(overlapped.Stored == sequential.Stored);
        EXPECT_EQ(overlapped.Counters, sequential.Counters);
        EXPECT_EQ(overlapped.TempLeft, QStringList());
    }
    if (!GetParam().fault.isEmpty()) {
        EXPECT_GT(sequential.Counters[0], 0) << "the fault hit nothing";
    }
    EXPECT_EQ(sequential.Counters[4], GetParam().cancelled ? 1 : 0);
}

// The fault seam counts copies, temporary and to the storage: the numbers chosen fail a file in the
// middle of the run, on its way into the temporary folder or onto the storage.
INSTANTIATE_TEST_SUITE_P(
    Runs, CopyAheadRunTest,
    ::testing::Values(RunCase{"Full", btFull, false, {}, 0, false, false},
                      RunCase{"Incremental", btInc, true, {}, 0, false, false},
                      RunCase{"Mirror", btSync, true, {}, 0, false, false},
                      RunCase{"UnreadableFile", btFull, false, "copy:17:EIO", 0, false, false},
                      RunCase{"StorageLostCancels", btFull, false, "copy:16:EIO", 0, false, true},
                      RunCase{"StorageFullCancelsMirror", btSync, true, "copy:11:ENOSPC", 0, false, true},
                      RunCase{"StorageLostPausedThenCancelled", btInc, true, "copy:11:EIO", 1, true, true}),
    [](const ::testing::TestParamInfo<RunCase>& run) { return std::string(run.param.name); });

} // namespace
} // namespace morvane
