#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace morvane {

// The markers the run writers put into log lines, in the interface language in force. Taken on the
// user-interface thread, so a report can be read on a worker.
struct TLogMarkers {
    QString Error;
    QString Warning;
    static TLogMarkers Current();
};

// One run log or job history file as the log viewer shows it: its lines, the error and warning
// counts and the search for the next marked line.
class TLogReport {
public:
    TLogReport() = default;
    TLogReport(const QString& fileName, QStringList lines, bool runLog, const TLogMarkers& markers);

    // Reads a UTF-8 file (with or without a byte-order mark, any line ends); nothing when it cannot
    // be read.
    static std::optional<TLogReport> Load(const QString& path, bool runLog, const TLogMarkers& markers);

    const QStringList& Lines() const { return lines_; }
    // The lines joined with "\n", as the text area holds them.
    QString Text() const { return lines_.join(u'\n'); }
    // The file name without its folder, proposed when saving a copy.
    const QString& LogFileName() const { return fileName_; }
    bool IsRunLog() const { return runLog_; }

    // Lines holding the error marker, and lines without it that hold the warning marker.
    int ErrorCount() const { return errorCount_; }
    int WarningCount() const { return warningCount_; }

    // The first line after `currentLine` holding the marker, else the first from the top up to and
    // including `currentLine`; nothing when no line holds it. A line with both markers is reached by
    // both searches.
    std::optional<int> NextError(int currentLine) const { return NextWith(markers_.Error, currentLine); }
    std::optional<int> NextWarning(int currentLine) const { return NextWith(markers_.Warning, currentLine); }

    // Translated captions: "Errors: 2", "Warnings: 0", and the window title ("Log: <stamp>" with ";"
    // shown as ":", or "History").
    QString ErrorsCaption() const;
    QString WarningsCaption() const;
    QString Title() const;

private:
    std::optional<int> NextWith(const QString& marker, int currentLine) const;

    QString fileName_;
    QStringList lines_;
    bool runLog_ = false;
    TLogMarkers markers_;
    int errorCount_ = 0;
    int warningCount_ = 0;
};

// Reads a report on a worker thread and hands it to `done` on the thread of `context` (queued); the
// call is dropped when `context` is gone by then. Nothing is handed over when the file cannot be read.
void LoadLogReportInBackground(const QString& path, bool runLog, QObject* context,
                               std::function<void(std::optional<TLogReport>)> done);

// Writes `lines` to `path` as UTF-8 text on a worker thread and reports success on the thread of
// `context` (queued).
void SaveTextInBackground(const QString& path, const QStringList& lines, QObject* context,
                          std::function<void(bool)> done);

} // namespace morvane
