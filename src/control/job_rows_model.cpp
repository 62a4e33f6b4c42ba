#include "control/job_rows_model.h"

#include "i18n/translation.h"
#include "platform/paths.h"

#include <QLocale>

#include <algorithm>

#include <unordered_map>

namespace morvane {

TJobRowSnapshot TakeRowSnapshot(TJob& job) {
    TJobRowSnapshot row;
    row.Name = job.stJobName;
    row.Status = job.JobStatus;
    row.OperationType = job.CurrentFileOperationType;
    if (row.OperationType == atNone_WaitingForReconnection)
        job.CurrentFileOperationPath.Set(QStringView());
    row.OperationPath = job.CurrentFileOperationPath.Text();
    row.Progress = job.CurrentFileOperationProgress;
    row.DestinationPath = job.DestinationPath;
    row.StartTime = job.LastJobResult.StartTime;
    row.EndTime = job.LastJobResult.EndTime;
    row.Cancelled = job.LastJobResult.Cancelled;
    row.ErrorsCount = job.LastJobResult.ErrorsCount;
    row.WarningsCount = job.LastJobResult.WarningsCount;
    return row;
}

QString ResultDateText(TDateTime moment) {
    const QDateTime when = FromDateTimeValue(moment);
    if (when.time() == QTime(0, 0))
        return QLocale::system().toString(when.date(), QLocale::ShortFormat);
    return DateTimeText(when);
}

namespace {

QString OperationWord(TFileOperationType type) {
    switch (type) {
    case atCopyFromLocalToRemoteFile:
    case atCopyFromLocalToRemoteFileThroughTempFolder:
    case atCopyFromRemoteToLocalFile:
        return Translate(QStringLiteral("Copying"));
    case atRemoveRemoteFile:
    case atRemoveRemoteEmptyFolder:
    case atRemoveRemoteNotEmptyFolder:
        return Translate(QStringLiteral("Removing"));
    case atCreateRemoteFolder:
        return Translate(QStringLiteral("Creating"));
    case atRenameRemoteFolder:
    case atRenameRemoteFile:
        return Translate(QStringLiteral("Renaming"));
    case atNone_WaitingForReconnection:
    case atNone:
        break;
    }
    return QString();
}

QString StatusWord(TJobStatus status) {
    switch (status) {
    case jsNone:
        return Translate(QStringLiteral("Ready"));
    case jsWaiting:
        return Translate(QStringLiteral("Waiting"));
    case jsRunning:
        return Translate(QStringLiteral("Running"));
    case jsCancelling:
        return Translate(QStringLiteral("Cancelling"));
    case jsPaused:
        return Translate(QStringLiteral("Paused"));
    }
    return QString();
}

QString OperationText(const TJobRowSnapshot& row) {
    if (row.Status == jsRunning || row.Status == jsPaused) {
        if (row.OperationType == atNone_WaitingForReconnection)
            return Translate(
                QStringLiteral("Make sure the storage device is connected. Then resume the job."));
        // A folder path ending with a separator has an empty last component.
        const QString last = row.OperationPath.mid(row.OperationPath.lastIndexOf(PathSeparator) + 1);
        const QString word = OperationWord(row.OperationType);
        return word.isEmpty() ? last : word + u' ' + last;
    }
    return FormatText(Translate(QStringLiteral("Backup to %s")), {row.DestinationPath})
        .replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
}

void SetLastResult(const TJobRowSnapshot& row, TJobRowTexts& texts) {
    switch (row.Status) {
    case jsRunning:
    case jsPaused:
        texts.LastResult = row.Progress >= 1 && row.Progress <= 99
                               ? QString::number(row.Progress) + u'%'
                               : Translate(QStringLiteral("In progress..."));
        texts.ProgressPercent = std::clamp(row.Progress, 0, 100);
        return;
    case jsWaiting:
    case jsCancelling:
        return;
    case jsNone:
        break;
    }
    if (row.StartTime == 0 && row.EndTime == 0) {
        texts.LastResult = Translate(QStringLiteral("Never started"));
        return;
    }
    QString pattern;
    if (row.Cancelled) {
        pattern = Translate(QStringLiteral("Cancelled on %s"));
        texts.Tone = TResultTone::Red;
    } else if (row.ErrorsCount >= 1) {
        pattern = Translate(QStringLiteral("Finished with errors on %s"));
        texts.Tone = TResultTone::Amber;
    } else if (row.WarningsCount >= 1) {
        pattern = Translate(QStringLiteral("Finished with warnings on %s"));
        texts.Tone = TResultTone::Amber;
    } else {
        pattern = Translate(QStringLiteral("Finished on %s"));
        texts.Tone = TResultTone::Green;
    }
    texts.LastResult = FormatText(pattern, {ResultDateText(row.EndTime)});
}

} // namespace

TJobRowTexts RowTexts(const TJobRowSnapshot& row) {
    TJobRowTexts texts;
    texts.Title = row.Name;
    texts.Operation = OperationText(row);
    texts.Status = StatusWord(row.Status);
    SetLastResult(row, texts);
    return texts;
}

TJobRowsModel::TJobRowsModel(QObject* parent) : QAbstractTableModel(parent) {}

void TJobRowsModel::Refresh(const std::vector<TJob*>& jobs) {
    std::vector<TRow> fresh;
    fresh.reserve(jobs.size());
    for (TJob* job : jobs) {
        TRow row;
        row.Job = job;
        row.Snapshot = TakeRowSnapshot(*job);
        fresh.push_back(std::move(row));
    }

    std::unordered_map<const TJob*, int> oldRows;
    for (size_t i = 0; i < rows_.size(); ++i)
        oldRows.emplace(rows_[i].Job, static_cast<int>(i));
    bool sameJobs = fresh.size() == rows_.size();
    bool sameOrder = sameJobs;
    for (size_t i = 0; sameJobs && i < fresh.size(); ++i) {
        const auto found = oldRows.find(fresh[i].Job);
        sameJobs = found != oldRows.end();
        sameOrder = sameOrder && sameJobs && found->second == static_cast<int>(i);
    }

    if (!sameJobs) {
        beginResetModel();
        for (TRow& row : fresh)
            row.Texts = RowTexts(row.Snapshot);
        rows_ = std::move(fresh);
        endResetModel();
        return;
    }

    if (!sameOrder) {
        // Moved rows keep their selection and current index: persistent indexes follow the job.
        Q_EMIT layoutAboutToBeChanged();
        const QModelIndexList persistent = persistentIndexList();
        QModelIndexList moved;
        moved.reserve(persistent.size());
        std::unordered_map<const TJob*, int> newRows;
        for (size_t i = 0; i < fresh.size(); ++i)
            newRows.emplace(fresh[i].Job, static_cast<int>(i));
        for (const QModelIndex& index : persistent)
            moved.append(index.isValid() ? createIndex(newRows.at(rows_[index.row()].Job), index.column())
                                         : QModelIndex());
        std::vector<TRow> reordered;
        reordered.reserve(fresh.size());
        for (const TRow& row : fresh)
            reordered.push_back(rows_[oldRows.at(row.Job)]);
        rows_ = std::move(reordered);
        changePersistentIndexList(persistent, moved);
        Q_EMIT layoutChanged();
    }

    for (size_t i = 0; i < fresh.size(); ++i) {
        TRow& row = rows_[i];
        if (row.Snapshot == fresh[i].Snapshot)
            continue;
        row.Snapshot = std::move(fresh[i].Snapshot);
        const TJobRowTexts texts = RowTexts(row.Snapshot);
        if (texts == row.Texts)
            continue;
        row.Texts = texts;
        Q_EMIT dataChanged(index(static_cast<int>(i), 0), index(static_cast<int>(i), ColumnCount - 1));
    }
}

void TJobRowsModel::Retranslate() {
    for (TRow& row : rows_)
        row.Texts = RowTexts(row.Snapshot);
    if (!rows_.empty())
        Q_EMIT dataChanged(index(0, 0), index(static_cast<int>(rows_.size()) - 1, ColumnCount - 1));
    Q_EMIT headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

TJob* TJobRowsModel::JobAt(int row) const {
    return row >= 0 && row < static_cast<int>(rows_.size()) ? rows_[row].Job : nullptr;
}

int TJobRowsModel::RowOf(const TJob* job) const {
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].Job == job)
            return static_cast<int>(i);
    return -1;
}

int TJobRowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TJobRowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QString TJobRowsModel::CellText(const TJobRowTexts& texts, int column) {
    switch (column) {
    case ColumnTitle:
        return texts.Title;
    case ColumnOperation:
        return texts.Operation;
    case ColumnStatus:
        return texts.Status;
    case ColumnLastResult:
        return texts.LastResult;
    default:
        return QString();
    }
}

QVariant TJobRowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size()))
        return QVariant();
    const TRow& row = rows_[index.row()];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
    case Qt::ToolTipRole:
        return CellText(row.Texts, index.column());
    case ResultToneRole:
        return static_cast<int>(index.column() == ColumnLastResult ? row.Texts.Tone : TResultTone::Normal);
    case ProgressRole:
        return row.Texts.ProgressPercent;
    case JobStatusRole:
        return static_cast<int>(row.Snapshot.Status);
    default:
        return QVariant();
    }
}

QVariant TJobRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole))
        return QVariant();
    switch (section) {
    case ColumnTitle:
        return Translate(QStringLiteral("Title"));
    case ColumnOperation:
        return Translate(QStringLiteral("Operation"));
    case ColumnStatus:
        return Translate(QStringLiteral("Status"));
    case ColumnLastResult:
        return Translate(QStringLiteral("Last Result"));
    default:
        return QVariant();
    }
}

} // namespace morvane
