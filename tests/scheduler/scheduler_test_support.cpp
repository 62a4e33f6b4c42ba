#include "scheduler_test_support.h"

#include <ctime>

namespace morvane::testing {

void FakeClockInBerlinTest::SetUp() {
    hadZone_ = qEnvironmentVariableIsSet("TZ");
    savedZone_ = qgetenv("TZ");
    qputenv("TZ", "Europe/Berlin");
    tzset();
    SetClock(&clock_);
}

void FakeClockInBerlinTest::TearDown() {
    SetClock(nullptr);
    if (hadZone_)
        qputenv("TZ", savedZone_);
    else
        qunsetenv("TZ");
    tzset();
}

TSchedulingSettings WeeklySchedule(std::initializer_list<int> weekdays, const QStringList& timeTable) {
    TSchedulingSettings schedule;
    schedule.SchedulingType = stDaysOfWeek;
    for (const int day : weekdays)
        schedule.DaysOfWeek[day - 1] = true;
    schedule.TimeTable = timeTable;
    return schedule;
}

TSchedulingSettings MonthlySchedule(std::initializer_list<int> days, const QStringList& timeTable) {
    TSchedulingSettings schedule;
    schedule.SchedulingType = stDaysOfMonth;
    for (const int day : days)
        schedule.DaysOfMonth[day - 1] = true;
    schedule.TimeTable = timeTable;
    return schedule;
}

TSchedulingSettings DailySchedule(const QStringList& timeTable) {
    return WeeklySchedule({1, 2, 3, 4, 5, 6, 7}, timeTable);
}

} // namespace morvane::testing
