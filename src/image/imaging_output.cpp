// The classification of the imaging tool's output. The phrases searched for are the tool's own, never
// translated.

#include "image/imaging_output.h"

#include "jobs/job.h"
#include "jobs/run_log.h"

#include <QRegularExpression>
#include <QStringList>

namespace morvane {

namespace {

const QString AccessDenied = QStringLiteral("Access denied. You must be a member");
const QString ErrorWord = QStringLiteral("ERROR");
const QString NoSpace = QStringLiteral("There is not enough free space on the backup storage location");
const QString Busy = QStringLiteral("Another backup or recovery operation is in progress");
const QString Copyright = QStringLiteral("Copyright");
const QString Banner = QStringLiteral("Backup command-line tool");
const QString ProgressMark = QStringLiteral(", copied (");

} // namespace

void TImagingOutput::HandleChunk(const QByteArray& chunk) {
    const QString text = QString::fromUtf8(chunk);
    if (text.contains(AccessDenied)) {
        // The tool refuses to work without administrator rights; the rest of its answer adds nothing.
        AddErrorToRunLog(job_, job_.TranslateText(QStringLiteral(
                                   "For system backup you must run the application as admin.")));
        return;
    }
    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\n|\r"));
    const QStringList lines = text.split(lineBreak);
    for (const QString& line : lines)
        HandleLine(line);
}

void TImagingOutput::HandleLine(const QString& line) {
    const QString errorMark = job_.TranslateText(QStringLiteral("ERROR:"));
    if (line.contains(ErrorWord)) {
        job_.LastJobResult.ErrorsCount.fetch_add(1);
        AddTranslatedToRunLog(job_, QString(line).replace(ErrorWord, errorMark));
    } else if (line.contains(NoSpace) || line.contains(Busy)) {
        job_.LastJobResult.ErrorsCount.fetch_add(1);
        AddTranslatedToRunLog(job_, errorMark + line);
    } else if (line.contains(Copyright) || line.contains(Banner)) {
        // the tool's banner
    } else if (const qsizetype at = line.indexOf(ProgressMark); at >= 0) {
        const qsizetype percent = line.indexOf(u'%', at);
        if (percent < 0)
            return;
        const qsizetype start = at + ProgressMark.size();
        bool ok = false;
        const int progress = line.mid(start, percent - start).toInt(&ok);
        if (!ok)
            return;
        job_.CurrentFileOperationProgress = progress;
        job_.CurrentFileOperationPath.Set(QStringView(line).left(at));
    } else if (!line.isEmpty()) {
        job_.LastJobResult.Log.append(line);
    }
}

} // namespace morvane
