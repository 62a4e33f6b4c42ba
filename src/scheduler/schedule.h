#pragma once

#include "jobs/job.h"
#include "platform/date_time.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>

namespace morvane {

// The time of day of a time-table entry "hh:mm:ss" as a fraction of a day. Entries of another length,
// with non-digits or with a field out of range come only from a damaged job file: nullopt, and every
// computation below skips them.
std::optional<TDateTime> EntryTime(const QString& entry);

// True when the job still has a start today after the present time of day, or when one of the next
// DaysCount days is one of its days (the time table is not consulted for those). Reads the clock.
bool IsScheduledXDaysFromNow(const TSchedulingSettings& schedule, int32_t DaysCount);

// The latest scheduled start strictly before now within today and the 100 days before, or 0 when
// there is none. A disabled schedule counts every day. Reads the clock.
TDateTime GetDateTimeOfNearestPastTask(const TSchedulingSettings& schedule);

// Whole seconds of real time between a scheduled start (a local date-time value) and `now`. A start
// that the clock skipped when daylight-saving time began counts from the moment of the jump, and one
// that it showed twice when the clock was set back counts from its first showing.
int64_t SecondsSinceScheduledStart(TDateTime start, const QDateTime& now);

} // namespace morvane
