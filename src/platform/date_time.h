#pragma once

#include <QDateTime>
#include <QString>

#include <atomic>

namespace morvane {

// Stored and compared date-times are days since 1899-12-30 in local time, the fraction being the time
// of day; a value below 1 is a time of day alone.
using TDateTime = double;

TDateTime ToDateTimeValue(const QDateTime& moment);
QDateTime FromDateTimeValue(TDateTime value);

// Every read of "now" goes through the installed clock, so tests can drive time.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime CurrentDateTime() const = 0;
};

// Installs a clock (nullptr restores the system clock). The clock must outlive its installation.
void SetClock(const Clock* clock);
QDateTime CurrentDateTime();
TDateTime Now();

// A clock that stands still until a test moves it.
class FakeClock final : public Clock {
public:
    explicit FakeClock(const QDateTime& start) : current_(start.toMSecsSinceEpoch()) {}
    QDateTime CurrentDateTime() const override { return QDateTime::fromMSecsSinceEpoch(current_.load()); }
    void Set(const QDateTime& moment) { current_.store(moment.toMSecsSinceEpoch()); }
    void AdvanceSeconds(qint64 seconds) { current_.fetch_add(seconds * 1000); }

private:
    std::atomic<qint64> current_;
};

// Texts in the user's regional formats: short date and long time.
QString DateTimeText(const QDateTime& moment);
QString LongTimeText(const QTime& time);

// Hours, minutes and seconds, two digits each, joined by ":" (timetable entries).
QString TimeOfDayText(const QTime& time);

} // namespace morvane
