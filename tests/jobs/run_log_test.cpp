#include "fixtures/temp_home.h"
#include "formats/events_log.h"
#include "jobs/job.h"
#include "jobs/job_file.h"
#include "jobs/run_log.h"
#include "platform/program_state.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <atomic>
#include <thread>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

class RunLogTest : public testing::TempHomeTest {
protected:
    void SetUp() override {
        TempHomeTest::SetUp();
        SetClock(&clock);
        job = std::make_unique<TJob_FilesAndFolders>(u"Docs"_s);
        job->OptionsToJobOptions(DefaultOptions());
    }
    void TearDown() override {
        SetClock(nullptr);
        TempHomeTest::TearDown();
    }

    // One run: starts now, writes a line, ends through the closing sequence; the clock then moves on.
    QString Run() {
        const TDateTime start = Now();
        job->JobStatus = jsRunning;
        job->LastJobResult.Log.clear();
        PrepareLogFolder(*job, false);
        AddToRunLog(*job, u"Starting the backup."_s);
        SaveRunLog(*job, start);
        clock.AdvanceSeconds(61);
        return LogFileStamp(start);
    }

    FakeClock clock{QDateTime(QDate(2025, 3, 3), QTime(14, 5, 9))};
    std::unique_ptr<TJob_FilesAndFolders> job;
};

TEST_F(RunLogTest, LinesCarryTheTimeAndCountErrorsAndWarnings) {
    AddToRunLog(*job, u"Copying the file:"_s, u"/home/ann/a.txt"_s);
    AddToRunLog(*job, u"Starting the backup."_s);
    AddErrorToRunLog(*job, u"The file does not exist."_s);
    AddWarningToRunLog(*job, u"Something odd."_s);
    AddErrorToRunLog(*job, u"Again."_s);
    const QString time = LongTimeText(QTime(14, 5, 9));
    EXPECT_EQ(job->LastJobResult.Log,
              (QStringList{time + u": Copying the file: /home/ann/a.txt"_s,
                           time + u": Starting the backup."_s, time + u": ERROR: The file does not exist."_s,
                           time + u": WARNING: Something odd."_s, time + u": ERROR: Again."_s}));
    EXPECT_EQ(job->LastJobResult.ErrorsCount, 2);
    EXPECT_EQ(job->LastJobResult.WarningsCount, 1);
}

TEST_F(RunLogTest, ErrorMarksAreTranslatedThroughTheJobsCopy) {
    TOptions options = DefaultOptions();
    options.Language.iLanguage = 1;
    options.Language.Translations = {{u"English"_s, u"en"_s, u"ERROR:"_s},
                                     {u"Deutsch"_s, u"de"_s, u"FEHLER:"_s}};
    job->OptionsToJobOptions(options);
    AddErrorToRunLog(*job, u"x"_s);
    EXPECT_TRUE(job->LastJobResult.Log.last().endsWith(u": FEHLER: x"_s));
}

TEST_F(RunLogTest, StampNamesTheLogFileAndShowsWithColons) {
    const QString stamp = Run();
    EXPECT_EQ(stamp, u"2025-03-03 14;05;09");
    EXPECT_EQ(ShownLogStamp(stamp), u"2025-03-03 14:05:09");
    const QString file = HomePath(u"Documents/Morvane Backup/Docs/2025-03-03 14;05;09.txt"_s);
    const QByteArray bytes = testing::ReadFileBytes(file);
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF")) << file.toStdString();
    EXPECT_TRUE(bytes.endsWith(": Starting the backup.\r\n"));
    EXPECT_EQ(job->LogList, QStringList{stamp});
    EXPECT_EQ(job->JobStatus, jsNone);
    EXPECT_EQ(job->LastJobResult.EndTime, ToDateTimeValue(QDateTime(QDate(2025, 3, 3), QTime(14, 5, 9))));
    // The closing sequence saved the job file with the new log list.
    TJob_FilesAndFolders saved(u"Docs"_s);
    ASSERT_TRUE(saved.LoadLocalJobFile(LocalJobFilePath(AppDir(), u"Docs"_s)));
    EXPECT_EQ(saved.LogList, QStringList{stamp});
}

TEST_F(RunLogTest, OnlyTheNewestLogsAreKeptAndHandDeletedOnesAreForgotten) {
    job->JobOptions.Logging.MaxNumberOfLogsForEachJob = 2;
    const QString first = Run();
    const QString second = Run();
    const QString third = Run();
    EXPECT_EQ(job->LogList, (QStringList{second, third}));
    EXPECT_FALSE(QFileInfo::exists(RunLogFilePath(*job, first)));
    ASSERT_TRUE(QFile::remove(RunLogFilePath(*job, second)));
    const QString fourth = Run();
    EXPECT_EQ(job->LogList, (QStringList{third, fourth}));
}

TEST_F(RunLogTest, LogIsNotSavedWithoutItsFolderButTheRunStillCloses) {
    job->JobOptions.Logging.PathForLogFiles = HomePath(u"blocked"_s);
    testing::WriteFileBytes(HomePath(u"blocked"_s), "a file where the log folder should go");
    Run();
    EXPECT_EQ(TakeEventTexts(),
              QStringList{u"Unable to create a folder for the log files: "_s + JobLogFolder(*job)});
    EXPECT_TRUE(job->LogList.isEmpty());
    EXPECT_EQ(job->JobStatus, jsNone);
    EXPECT_FALSE(PrepareLogFolder(*job, true));
    EXPECT_EQ(TakeEventTexts(),
              QStringList{u"Unable to create folder for log files: "_s + JobLogFolder(*job)});
}

TEST_F(RunLogTest, ClosingProgramSkipsSavingTheJobFile) {
    Program().ClosingRequested = true;
    Run();
    EXPECT_FALSE(QFileInfo::exists(LocalJobFilePath(AppDir(), u"Docs"_s)));
    EXPECT_EQ(job->JobStatus, jsNone);
}

TEST_F(RunLogTest, HistoryAppendsAndTrims) {
    job->AddEventtoBackupHistory(u"Target: full copy of the source."_s, true); // nothing to append to
    ASSERT_EQ(job->BackupHistory.size(), 1);
    EXPECT_TRUE(job->BackupHistory[0].endsWith(u": Target: full copy of the source."_s));
    job->AddEventtoBackupHistory(u"Starting the backup."_s, false);
    job->AddEventtoBackupHistory(u"Target: incremental copy of the source."_s, true);
    ASSERT_EQ(job->BackupHistory.size(), 2);
    EXPECT_TRUE(
        job->BackupHistory[1].endsWith(u": Starting the backup. Target: incremental copy of the source."_s));

    job->JobOptions.Logging.MaxNumberOfLinesInHistory = 2;
    job->AddEventtoBackupHistory(u"Backup job is finished."_s, false);
    EXPECT_EQ(job->BackupHistory.size(), 2);
    EXPECT_TRUE(job->BackupHistory[1].endsWith(u": Backup job is finished."_s));

    job->JobOptions.Logging.MaxNumberOfLinesInHistory = 0;
    job->AddEventtoBackupHistory(u"Gone at once."_s, false);
    EXPECT_TRUE(job->BackupHistory.isEmpty());
}

TEST_F(RunLogTest, HistoryExportIsATextFileBesideTheLogs) {
    job->AddEventtoBackupHistory(u"Starting the backup."_s, false);
    ASSERT_TRUE(ExportHistory(*job, job->JobOptions));
    const QByteArray bytes =
        testing::ReadFileBytes(HomePath(u"Documents/Morvane Backup/history - Docs.txt"_s));
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(bytes.endsWith(": Starting the backup.\r\n"));
}

TEST_F(RunLogTest, TemporaryFilesOfTheJobAreRemovedEvenWhenReadOnly) {
    const QString temp = job->JobOptions.General.PathForTempFiles;
    ASSERT_TRUE(QDir().mkpath(temp + u"/Docs/deep/er"_s));
    testing::WriteFileBytes(temp + u"/Docs/deep/er/f.txt"_s, "x");
    testing::WriteFileBytes(temp + u"/Docs.bmj"_s, "x");
    testing::WriteFileBytes(temp + u"/Other.bmj"_s, "x");
    QFile::setPermissions(temp + u"/Docs/deep"_s, QFile::ReadOwner | QFile::ExeOwner);
    job->DeleteTempFiles();
    EXPECT_FALSE(QFileInfo::exists(temp + u"/Docs"_s));
    EXPECT_FALSE(QFileInfo::exists(temp + u"/Docs.bmj"_s));
    EXPECT_TRUE(QFileInfo::exists(temp + u"/Other.bmj"_s));
}

TEST(EventsPanelTest, EventsFromSeveralThreadsAreNeitherLostNorDuplicated) {
    TakePendingEvents();
    TEventsPanel panel;
    constexpr int threads = 4;
    constexpr int perThread = 500;
    std::atomic<int> running{threads};
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([t, &running] {
            for (int i = 0; i < perThread; ++i)
                AddToEventsLog(u"event %1 %2"_s.arg(t).arg(i));
            --running;
        });
    while (running > 0)
        panel.FlushEventsLog(threads * perThread);
    for (std::thread& worker : workers)
        worker.join();
    panel.FlushEventsLog(threads * perThread);
    ASSERT_EQ(panel.Lines().size(), threads * perThread);
    QSet<QString> seen;
    for (const QString& line : panel.Lines())
        seen.insert(line.mid(line.indexOf(u": "_s) + 2));
    EXPECT_EQ(seen.size(), threads * perThread);
    // Each thread's lines keep their order.
    int lastOfThreadZero = -1;
    for (const QString& line : panel.Lines())
        if (line.contains(u"event 0 "_s)) {
            const int index = line.section(u' ', -1).toInt();
            EXPECT_GT(index, lastOfThreadZero);
            lastOfThreadZero = index;
        }
}

TEST(EventsPanelTest, PanelKeepsOnlyTheNewestLines) {
    TakePendingEvents();
    TEventsPanel panel;
    for (int i = 0; i < 5; ++i)
        AddToEventsLog(QString::number(i));
    EXPECT_TRUE(panel.FlushEventsLog(3));
    ASSERT_EQ(panel.Lines().size(), 3);
    EXPECT_TRUE(panel.Lines().first().endsWith(u": 2"_s));
    EXPECT_FALSE(panel.FlushEventsLog(3));
    EXPECT_TRUE(panel.FlushEventsLog(0));
    EXPECT_TRUE(panel.Lines().isEmpty());
}

} // namespace
} // namespace morvane
