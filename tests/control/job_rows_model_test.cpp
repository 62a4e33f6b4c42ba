#include "control/job_rows_model.h"

#include "fixtures/temp_home.h"

#include <QItemSelectionModel>
#include <QLocale>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

namespace morvane {
namespace {

class JobRowsTest : public testing::TempHomeTest {};

// The first and last row of every dataChanged, and the number of resets.
struct ModelSpy {
    explicit ModelSpy(QAbstractItemModel& model) {
        QObject::connect(&model, &QAbstractItemModel::dataChanged,
                         [this](const QModelIndex& from, const QModelIndex& to) {
                             changed.push_back({from.row(), to.row()});
                         });
        QObject::connect(&model, &QAbstractItemModel::modelReset, [this] { ++resets; });
    }
    std::vector<std::pair<int, int>> changed;
    int resets = 0;
};

const QDateTime Afternoon(QDate(2025, 3, 3), QTime(14, 5, 9));
const QDateTime Midnight(QDate(2025, 3, 4), QTime(0, 0));

QString DateText(const QDateTime& moment) {
    return moment.time() == QTime(0, 0) ? QLocale::system().toString(moment.date(), QLocale::ShortFormat)
                                        : DateTimeText(moment);
}

struct RowCase {
    const char* name;
    TJobStatus status;
    TFileOperationType operation;
    QString path;
    int progress;
    TDateTime start;
    TDateTime end;
    bool cancelled;
    int errors;
    int warnings;
    QString operationText;
    QString statusText;
    QString resultText;
    TResultTone tone;
    int bar;
};

TEST_F(JobRowsTest, RowTextsAndTonesFollowTheJobsState) {
    const TDateTime afternoon = ToDateTimeValue(Afternoon);
    const TDateTime midnight = ToDateTimeValue(Midnight);
    const QString backupTo = u"Backup to /media/usb/backups"_s;
    const RowCase cases[] = {
        {"never ran",
         jsNone,
         atNone,
         {},
         0,
         0,
         0,
         false,
         0,
         0,
         backupTo,
         u"Ready"_s,
         u"Never started"_s,
         TResultTone::Normal,
         -1},
        {"cancelled wins over errors",
         jsNone,
         atNone,
         {},
         0,
         afternoon,
         afternoon,
         true,
         3,
         2,
         backupTo,
         u"Ready"_s,
         u"Cancelled on "_s + DateText(Afternoon),
         TResultTone::Red,
         -1},
        {"errors",
         jsNone,
         atNone,
         {},
         0,
         afternoon,
         afternoon,
         false,
         1,
         5,
         backupTo,
         u"Ready"_s,
         u"Finished with errors on "_s + DateText(Afternoon),
         TResultTone::Amber,
         -1},
        {"warnings",
         jsNone,
         atNone,
         {},
         0,
         afternoon,
         afternoon,
         false,
         0,
         1,
         backupTo,
         u"Ready"_s,
         u"Finished with warnings on "_s + DateText(Afternoon),
         TResultTone::Amber,
         -1},
        {"finished at midnight shows no time",
         jsNone,
         atNone,
         {},
         0,
         afternoon,
         midnight,
         false,
         0,
         0,
         backupTo,
         u"Ready"_s,
         u"Finished on "_s + DateText(Midnight),
         TResultTone::Green,
         -1},
        {"only an end time counts as started",
         jsNone,
         atNone,
         {},
         0,
         0,
         afternoon,
         false,
         0,
         0,
         backupTo,
         u"Ready"_s,
         u"Finished on "_s + DateText(Afternoon),
         TResultTone::Green,
         -1},
        {"copying at 42%", jsRunning, atCopyFromLocalToRemoteFile, u"/home/ann/Data/Reports/q1.xlsx"_s, 42, 1,
         0, false, 0, 0, u"Copying q1.xlsx"_s, u"Running"_s, u"42%"_s, TResultTone::Normal, 42},
        {"0% reads in progress", jsRunning, atCopyFromRemoteToLocalFile, u"/a/b.txt"_s, 0, 1, 0, false, 0, 0,
         u"Copying b.txt"_s, u"Running"_s, u"In progress..."_s, TResultTone::Normal, 0},
        {"100% reads in progress", jsPaused, atCopyFromLocalToRemoteFileThroughTempFolder, u"/a/b.txt"_s, 100,
         1, 0, false, 0, 0, u"Copying b.txt"_s, u"Paused"_s, u"In progress..."_s, TResultTone::Normal, 100},
        {"1% and 99% are shown", jsRunning, atRemoveRemoteFile, u"/x/old.bin"_s, 99, 1, 0, false, 0, 0,
         u"Removing old.bin"_s, u"Running"_s, u"99%"_s, TResultTone::Normal, 99},
        {"folder path ending with a separator", jsRunning, atCreateRemoteFolder, u"/store/Docs/Sub/"_s, 1, 1,
         0, false, 0, 0, u"Creating "_s, u"Running"_s, u"1%"_s, TResultTone::Normal, 1},
        {"renaming", jsRunning, atRenameRemoteFolder, u"/store/Docs/2024"_s, 50, 1, 0, false, 0, 0,
         u"Renaming 2024"_s, u"Running"_s, u"50%"_s, TResultTone::Normal, 50},
        {"running without an operation",
         jsRunning,
         atNone,
         {},
         0,
         1,
         0,
         false,
         0,
         0,
         u""_s,
         u"Running"_s,
         u"In progress..."_s,
         TResultTone::Normal,
         0},
        {"waiting shows no result",
         jsWaiting,
         atNone,
         {},
         0,
         afternoon,
         afternoon,
         true,
         0,
         0,
         backupTo,
         u"Waiting"_s,
         {},
         TResultTone::Normal,
         -1},
        {"cancelling shows no result",
         jsCancelling,
         atCopyFromLocalToRemoteFile,
         u"/a/b"_s,
         30,
         1,
         0,
         false,
         0,
         0,
         backupTo,
         u"Cancelling"_s,
         {},
         TResultTone::Normal,
         -1},
    };
    for (const RowCase& c : cases) {
        TJob_FilesAndFolders job(u"Docs"_s);
        job.DestinationPath = u"/media/usb/backups"_s;
        job.JobStatus = c.status;
        job.CurrentFileOperationType = c.operation;
        job.CurrentFileOperationPath.Set(c.path);
        job.CurrentFileOperationProgress = c.progress;
        job.LastJobResult.StartTime = c.start;
        job.LastJobResult.EndTime = c.end;
        job.LastJobResult.Cancelled = c.cancelled;
        job.LastJobResult.ErrorsCount = c.errors;
        job.LastJobResult.WarningsCount = c.warnings;
        const TJobRowTexts texts = RowTexts(TakeRowSnapshot(job));
        EXPECT_EQ(texts.Title, u"Docs"_s) << c.name;
        EXPECT_EQ(texts.Operation, c.operationText) << c.name;
        EXPECT_EQ(texts.Status, c.statusText) << c.name;
        EXPECT_EQ(texts.LastResult, c.resultText) << c.name;
        EXPECT_EQ(texts.Tone, c.tone) << c.name;
        EXPECT_EQ(texts.ProgressPercent, c.bar) << c.name;
    }
}

TEST_F(JobRowsTest, DestinationsLoseOneBackslashOfEachPair) {
    const std::pair<QString, QString> cases[] = {
        {u"\\\\server\\share\\backup"_s, u"Backup to \\server\\share\\backup"_s},
        {u"//server/share/backup"_s, u"Backup to //server/share/backup"_s},
        {u"\\\\\\\\odd"_s, u"Backup to \\\\odd"_s},
        {u"/media/usb"_s, u"Backup to /media/usb"_s},
    };
    for (const auto& [destination, shown] : cases) {
        TJob_FilesAndFolders job(u"Docs"_s);
        job.DestinationPath = destination;
        EXPECT_EQ(RowTexts(TakeRowSnapshot(job)).Operation, shown);
    }
}

TEST_F(JobRowsTest, WaitingForTheStorageShowsTheAdviceAndClearsThePath) {
    TJob_FilesAndFolders job(u"Docs"_s);
    job.JobStatus = jsPaused;
    job.CurrentFileOperationType = atNone_WaitingForReconnection;
    job.CurrentFileOperationPath.Set(u"/store/Docs/file.txt");
    const TJobRowTexts texts = RowTexts(TakeRowSnapshot(job));
    EXPECT_EQ(texts.Operation, u"Make sure the storage device is connected. Then resume the job."_s);
    EXPECT_TRUE(job.CurrentFileOperationPath.Text().isEmpty());
}

TEST_F(JobRowsTest, TextsAreTranslatedThroughTheCatalogue) {
    Catalogue().Table = {
        {u"English"_s, u"en"_s, u"Ready"_s, u"Backup to %s"_s, u"Never started"_s, u"Title"_s},
        {u"Deutsch"_s, u"de"_s, u"Bereit"_s, u"Sichern nach %s"_s, u""_s, u"Titel"_s}};
    Catalogue().CurrentLanguageIndex = 1;
    TJob_FilesAndFolders job(u"Docs"_s);
    job.DestinationPath = u"/m"_s;
    const TJobRowTexts texts = RowTexts(TakeRowSnapshot(job));
    EXPECT_EQ(texts.Status, u"Bereit"_s);
    EXPECT_EQ(texts.Operation, u"Sichern nach /m"_s);
    EXPECT_EQ(texts.LastResult, u"Never started"_s); // an empty cell stays English
    TJobRowsModel model;
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), u"Titel"_s);
}

TEST_F(JobRowsTest, RefreshReportsOnlyTheRowsThatChanged) {
    TJob_FilesAndFolders a(u"A"_s), b(u"B"_s), c(u"C"_s);
    TJobRowsModel model;
    model.Refresh({&a, &b, &c});
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.data(model.index(1, 0)).toString(), u"B"_s);
    EXPECT_EQ(model.data(model.index(1, 2), Qt::AccessibleTextRole).toString(), u"Ready"_s);

    ModelSpy spy(model);
    model.Refresh({&a, &b, &c});
    EXPECT_TRUE(spy.changed.empty());

    b.JobStatus = jsRunning;
    b.CurrentFileOperationProgress = 42;
    model.Refresh({&a, &b, &c});
    ASSERT_EQ(spy.changed.size(), 1u);
    EXPECT_EQ(spy.changed[0], std::make_pair(1, 1));
    EXPECT_EQ(model.data(model.index(1, TJobRowsModel::ColumnLastResult)).toString(), u"42%"_s);
    EXPECT_EQ(model.data(model.index(1, 0), TJobRowsModel::ProgressRole).toInt(), 42);
    EXPECT_EQ(model.data(model.index(1, 0), TJobRowsModel::JobStatusRole).toInt(), int(jsRunning));

    // A job that is added or removed rebuilds the rows.
    model.Refresh({&a, &c});
    EXPECT_EQ(spy.resets, 1);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.JobAt(1), &c);
}

TEST_F(JobRowsTest, AResultToneBelongsToTheLastResultCellOnly) {
    TJob_FilesAndFolders job(u"A"_s);
    job.LastJobResult.StartTime = 1;
    job.LastJobResult.EndTime = 2;
    job.LastJobResult.Cancelled = true;
    TJobRowsModel model;
    model.Refresh({&job});
    EXPECT_EQ(
        model.data(model.index(0, TJobRowsModel::ColumnLastResult), TJobRowsModel::ResultToneRole).toInt(),
        int(TResultTone::Red));
    EXPECT_EQ(model.data(model.index(0, TJobRowsModel::ColumnTitle), TJobRowsModel::ResultToneRole).toInt(),
              int(TResultTone::Normal));
}

TEST_F(JobRowsTest, ASelectedJobStaysSelectedWhenTheOrderChanges) {
    TJob_FilesAndFolders a(u"A"_s), b(u"B"_s), c(u"C"_s);
    TJobRowsModel model;
    model.Refresh({&a, &b, &c});
    QItemSelectionModel selection(&model);
    selection.setCurrentIndex(model.index(2, 0),
                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    ModelSpy spy(model);

    model.Refresh({&a, &c, &b});
    EXPECT_EQ(spy.resets, 0);
    ASSERT_EQ(selection.selectedRows().size(), 1);
    EXPECT_EQ(selection.selectedRows().first().row(), 1);
    EXPECT_EQ(selection.currentIndex().row(), 1);
    EXPECT_EQ(model.data(model.index(1, 0)).toString(), u"C"_s);
    EXPECT_EQ(model.RowOf(&b), 2);
}

} // namespace
} // namespace morvane
