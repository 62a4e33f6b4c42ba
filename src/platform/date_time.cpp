#include "platform/date_time.h"

#include <QLocale>

#include <atomic>
#include <cmath>

namespace morvane {

namespace {

constexpr double MillisecondsPerDay = 86'400'000.0;
const QDate DateTimeEpoch(1899, 12, 30);

class SystemClock final : public Clock {
public:
    QDateTime CurrentDateTime() const override { return QDateTime::currentDateTime(); }
};

const SystemClock systemClock;
std::atomic<const Clock*> installedClock{&systemClock};

// The long time format without the time-zone name, which log lines do not want.
QString LongTimeFormat() {
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(u't');
    return format.trimmed();
}

} // namespace

TDateTime ToDateTimeValue(const QDateTime& moment) {
    const QDateTime local = moment.toLocalTime();
    const double days = static_cast<double>(DateTimeEpoch.daysTo(local.date()));
    const double fraction = local.time().msecsSinceStartOfDay() / MillisecondsPerDay;
    // Before the epoch the integral part counts back while the fraction still counts forward.
    return days >= 0 ? days + fraction : days - fraction;
}

QDateTime FromDateTimeValue(TDateTime value) {
    // Values outside the years 1 to 9999 come only from damaged files; they read as the epoch.
    if (!std::isfinite(value) || value < -693'593.0 || value >= 2'958'466.0)
        return QDateTime(DateTimeEpoch, QTime(0, 0));
    const double days = std::trunc(value);
    const double fraction = std::fabs(value - days);
    const int msecs = std::min(static_cast<int>(std::llround(fraction * MillisecondsPerDay)), 86'399'999);
    const QDate date = DateTimeEpoch.addDays(static_cast<qint64>(days));
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(msecs));
}

void SetClock(const Clock* clock) {
    installedClock.store(clock ? clock : &systemClock);
}

QDateTime CurrentDateTime() {
    return installedClock.load()->CurrentDateTime();
}

TDateTime Now() {
    return ToDateTimeValue(CurrentDateTime());
}

QString DateTimeText(const QDateTime& moment) {
    const QLocale locale = QLocale::system();
    return locale.toString(moment.date(), QLocale::ShortFormat) + u' ' +
           locale.toString(moment.time(), LongTimeFormat());
}

QString LongTimeText(const QTime& time) {
    return QLocale::system().toString(time, LongTimeFormat());
}

QString TimeOfDayText(const QTime& time) {
    return time.toString(QStringLiteral("HH:mm:ss"));
}

} // namespace morvane
