#pragma once

#include "jobs/job.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <array>
#include <vector>

namespace morvane {

// The colour a row's result text is drawn in; the delegate maps it to a colour.
enum class TResultTone { Normal, Red, Amber, Green };

// What a row shows of one job, read once per tick from the job's fields (workers write them without a
// lock, so a row may be one tick old).
struct TJobRowSnapshot {
    QString Name;
    TJobStatus Status = jsNone;
    TFileOperationType OperationType = atNone;
    QString OperationPath;
    int Progress = 0;
    QString DestinationPath;
    TDateTime StartTime = 0;
    TDateTime EndTime = 0;
    bool Cancelled = false;
    int ErrorsCount = 0;
    int WarningsCount = 0;

    bool operator==(const TJobRowSnapshot&) const = default;
};

// Reads the fields of a row. A job waiting for its storage to come back has its current path cleared,
// as the row then shows the reconnect advice instead.
TJobRowSnapshot TakeRowSnapshot(TJob& job);

// The four cell texts of a row, its result tone, and the progress to draw as a bar (-1: no bar).
struct TJobRowTexts {
    QString Title;
    QString Operation;
    QString Status;
    QString LastResult;
    TResultTone Tone = TResultTone::Normal;
    int ProgressPercent = -1;

    bool operator==(const TJobRowTexts&) const = default;
};

// The texts of a row in the current interface language (user-interface thread).
TJobRowTexts RowTexts(const TJobRowSnapshot& row);

// A result's moment as shown: short date, a space, long time; the time is left out at midnight.
QString ResultDateText(TDateTime moment);

// One row per job in list order, four columns. Refresh() compares each job's snapshot with the
// last one and reports only rows that changed, so a tick repaints only what moved.
class TJobRowsModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColumnTitle, ColumnOperation, ColumnStatus, ColumnLastResult, ColumnCount };
    enum Role {
        ResultToneRole = Qt::UserRole + 1, // int of TResultTone
        ProgressRole,                      // 0..100 while running or paused, else -1
        JobStatusRole,                     // int of TJobStatus
    };

    explicit TJobRowsModel(QObject* parent = nullptr);

    // Reads every job. The same jobs in another order move their rows (selections follow the job);
    // other changes of the list rebuild the model.
    void Refresh(const std::vector<TJob*>& jobs);
    // Recomposes every text after a change of the interface language.
    void Retranslate();

    TJob* JobAt(int row) const;
    int RowOf(const TJob* job) const;
    const TJobRowTexts& TextsAt(int row) const { return rows_.at(row).Texts; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct TRow {
        TJob* Job = nullptr;
        TJobRowSnapshot Snapshot;
        TJobRowTexts Texts;
    };

    static QString CellText(const TJobRowTexts& texts, int column);

    std::vector<TRow> rows_;
};

} // namespace morvane
