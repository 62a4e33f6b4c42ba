#include "control/log_report.h"

#include "control/thread_handover.h"
#include "formats/text_file.h"
#include "i18n/translation.h"

#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <memory>

namespace morvane {

TLogMarkers TLogMarkers::Current() {
    return {Translate(QStringLiteral("ERROR:")), Translate(QStringLiteral("WARNING:"))};
}

TLogReport::TLogReport(const QString& fileName, QStringList lines, bool runLog, const TLogMarkers& markers)
    : fileName_(fileName), lines_(std::move(lines)), runLog_(runLog), markers_(markers) {
    for (const QString& line : std::as_const(lines_)) {
        if (!markers_.Error.isEmpty() && line.contains(markers_.Error))
            ++errorCount_;
        else if (!markers_.Warning.isEmpty() && line.contains(markers_.Warning))
            ++warningCount_;
    }
}

std::optional<TLogReport> TLogReport::Load(const QString& path, bool runLog, const TLogMarkers& markers) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return TLogReport(QFileInfo(path).fileName(), SplitTextLines(bytes), runLog, markers);
}

std::optional<int> TLogReport::NextWith(const QString& marker, int currentLine) const {
    if (marker.isEmpty())
        return std::nullopt;
    const int count = int(lines_.size());
    const int current = qBound(-1, currentLine, count - 1);
    for (int line = current + 1; line < count; ++line)
        if (lines_[line].contains(marker))
            return line;
    for (int line = 0; line <= current; ++line)
        if (lines_[line].contains(marker))
            return line;
    return std::nullopt;
}

QString TLogReport::ErrorsCaption() const {
    return Translate(QStringLiteral("Errors")) + u": " + QString::number(errorCount_);
}

QString TLogReport::WarningsCaption() const {
    return Translate(QStringLiteral("Warnings")) + u": " + QString::number(warningCount_);
}

QString TLogReport::Title() const {
    if (!runLog_)
        return Translate(QStringLiteral("History"));
    // A run log is named by its start stamp plus ".txt"; the stamp's ";" stand for ":".
    QString stamp = fileName_.left(qMax(0, int(fileName_.size()) - 4));
    stamp.replace(u';', u':');
    return Translate(QStringLiteral("Log")) + u": " + stamp;
}

void LoadLogReportInBackground(const QString& path, bool runLog, QObject* context,
                               std::function<void(std::optional<TLogReport>)> done) {
    auto result = std::make_shared<std::optional<TLogReport>>();
    const TLogMarkers markers = TLogMarkers::Current();
    QThread* worker = QThread::create([result, path, runLog, markers] {
        *result = TLogReport::Load(path, runLog, markers);
        MarkThreadHandover();
    });
    // The connection goes with `context`, so a window closed meanwhile is never called.
    QObject::connect(
        worker, &QThread::finished, context,
        [result, done = std::move(done)] {
            MarkThreadHandover();
            done(std::move(*result));
        },
        Qt::QueuedConnection);
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

void SaveTextInBackground(const QString& path, const QStringList& lines, QObject* context,
                          std::function<void(bool)> done) {
    auto written = std::make_shared<bool>(false);
    QThread* worker = QThread::create([written, path, lines] {
        *written = WriteTextFileLines(path, lines);
        MarkThreadHandover();
    });
    QObject::connect(
        worker, &QThread::finished, context,
        [written, done = std::move(done)] {
            MarkThreadHandover();
            done(*written);
        },
        Qt::QueuedConnection);
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

} // namespace morvane
