#include "scheduler/schedule.h"

#include <QTimeZone>

#include <cmath>
#include <limits>
#include <vector>

namespace morvane {

namespace {

constexpr int64_t MillisecondsPerDay = 86'400'000;
constexpr int PastDaysWindow = 101; // today and the 100 days before
const QDate DateTimeEpoch(1899, 12, 30);

// Two decimal digits at `at`, or -1.
int TwoDigits(const QString& text, int at) {
    const QChar high = text.at(at);
    const QChar low = text.at(at + 1);
    if (high < u'0' || high > u'9' || low < u'0' || low > u'9')
        return -1;
    return (high.unicode() - u'0') * 10 + (low.unicode() - u'0');
}

// Milliseconds since midnight of an entry; the separators are not examined.
std::optional<int> EntryMilliseconds(const QString& entry) {
    if (entry.size() != 8)
        return std::nullopt;
    const int hours = TwoDigits(entry, 0);
    const int minutes = TwoDigits(entry, 3);
    const int seconds = TwoDigits(entry, 6);
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59)
        return std::nullopt;
    return ((hours * 60 + minutes) * 60 + seconds) * 1000;
}

// The usable entries of the time table in list order.
std::vector<int> EntryMillisecondsList(const TSchedulingSettings& schedule) {
    std::vector<int> result;
    for (const QString& entry : schedule.TimeTable) {
        if (const std::optional<int> msecs = EntryMilliseconds(entry))
            result.push_back(*msecs);
    }
    return result;
}

bool IsDayOfSchedule(const TSchedulingSettings& schedule, const QDate& day) {
    switch (schedule.SchedulingType) {
    case stDaysOfWeek:
        return schedule.DaysOfWeek[day.dayOfWeek() - 1];
    case stDaysOfMonth:
        return schedule.DaysOfMonth[day.day() - 1];
    default:
        return false;
    }
}

// Local wall-clock value of a date and a time of day, in the stored encoding.
TDateTime DateTimeValue(const QDate& date, int msecsOfDay) {
    const double days = static_cast<double>(DateTimeEpoch.daysTo(date));
    const double fraction = static_cast<double>(msecsOfDay) / MillisecondsPerDay;
    return days >= 0 ? days + fraction : days - fraction;
}

// The UTC instant at which the local clock first showed `msecsOfDay` on `date`.
qint64 FirstInstantShowing(const QDate& date, int msecsOfDay) {
    const QTime time = QTime::fromMSecsSinceStartOfDay(msecsOfDay);
    const QDateTime local(date, time);
    if (local.isValid()) {
        // When the clock was set back, the same time showed twice; the earlier one came first.
        const qint64 instant = local.toMSecsSinceEpoch();
        const int offsetBefore = local.addDays(-1).offsetFromUtc();
        const qint64 earlier = instant - qint64(offsetBefore - local.offsetFromUtc()) * 1000;
        const QDateTime shownEarlier = QDateTime::fromMSecsSinceEpoch(earlier);
        if (earlier < instant && shownEarlier.date() == date && shownEarlier.time() == time)
            return earlier;
        return instant;
    }
    // The clock jumped over this time (daylight-saving time began): the start belongs to the jump,
    // the first transition after a moment safely before it.
    const QDateTime asUtc(date, time, QTimeZone::utc());
    const QTimeZone::OffsetData jump = QTimeZone::systemTimeZone().nextTransition(asUtc.addDays(-1));
    if (jump.atUtc.isValid())
        return jump.atUtc.toMSecsSinceEpoch();
    return asUtc.toMSecsSinceEpoch();
}

} // namespace

std::optional<TDateTime> EntryTime(const QString& entry) {
    if (const std::optional<int> msecs = EntryMilliseconds(entry))
        return static_cast<double>(*msecs) / MillisecondsPerDay;
    return std::nullopt;
}

bool IsScheduledXDaysFromNow(const TSchedulingSettings& schedule, int32_t DaysCount) {
    if (schedule.SchedulingType == stDisabled)
        return false;
    const QDateTime now = CurrentDateTime().toLocalTime();
    const QDate today = now.date();
    if (IsDayOfSchedule(schedule, today)) {
        const int nowMsecs = now.time().msecsSinceStartOfDay();
        for (const int entry : EntryMillisecondsList(schedule)) {
            if (entry > nowMsecs)
                return true;
        }
    }
    // Days count on the calendar, so a day of 23 or 25 hours never skips or repeats a date.
    for (int32_t i = 1; i <= DaysCount; ++i) {
        if (IsDayOfSchedule(schedule, today.addDays(i)))
            return true;
    }
    return false;
}

TDateTime GetDateTimeOfNearestPastTask(const TSchedulingSettings& schedule) {
    const QDateTime now = CurrentDateTime().toLocalTime();
    const QDate today = now.date();
    const int nowMsecs = now.time().msecsSinceStartOfDay();
    const std::vector<int> entries = EntryMillisecondsList(schedule);
    for (int d = 0; d < PastDaysWindow; ++d) {
        const QDate day = today.addDays(-d);
        if (schedule.SchedulingType != stDisabled && !IsDayOfSchedule(schedule, day))
            continue;
        // The table is kept ascending, so the first past entry from the end is the day's latest.
        for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
            if (d > 0 || *entry < nowMsecs)
                return DateTimeValue(day, *entry);
        }
    }
    return 0;
}

int64_t SecondsSinceScheduledStart(TDateTime start, const QDateTime& now) {
    if (!std::isfinite(start) || start < 0 || start >= 2'958'466.0)
        return std::numeric_limits<int64_t>::max();
    const double days = std::floor(start);
    const int msecs = std::min(static_cast<int>(std::llround((start - days) * MillisecondsPerDay)),
                               static_cast<int>(MillisecondsPerDay - 1));
    const QDate date = DateTimeEpoch.addDays(static_cast<qint64>(days));
    return (now.toMSecsSinceEpoch() - FirstInstantShowing(date, msecs)) / 1000;
}

} // namespace morvane
