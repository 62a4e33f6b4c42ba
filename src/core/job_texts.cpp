#include "core/job_texts.h"

#include "i18n/translation.h"
#include "jobs/job.h"
#include "platform/date_time.h"

#include <QLocale>

namespace morvane {

namespace {

// Short date and long time; the time is left out when it is exactly midnight.
QString EndTimeText(TDateTime value) {
    const QDateTime moment = FromDateTimeValue(value);
    if (moment.time() == QTime(0, 0))
        return QLocale::system().toString(moment.date(), QLocale::ShortFormat);
    return DateTimeText(moment);
}

} // namespace

QString LastResultText(const TJob& job) {
    const TJobResult& result = job.LastJobResult;
    if (result.StartTime == 0 && result.EndTime == 0)
        return Translate(QStringLiteral("Never started"));
    QString pattern = TR_NOOP("Finished on %s");
    if (result.Cancelled)
        pattern = TR_NOOP("Cancelled on %s");
    else if (result.ErrorsCount >= 1)
        pattern = TR_NOOP("Finished with errors on %s");
    else if (result.WarningsCount >= 1)
        pattern = TR_NOOP("Finished with warnings on %s");
    return FormatText(Translate(pattern), {EndTimeText(result.EndTime)});
}

} // namespace morvane
