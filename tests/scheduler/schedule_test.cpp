#include "scheduler/schedule.h"

#include "scheduler_test_support.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

using testing::DailySchedule;
using testing::MonthlySchedule;
using testing::WeeklySchedule;

const QDate Monday(2026, 1, 5);
const QDate PreviousMonday(2025, 12, 29);
const QDateTime NoStart(QDate(1899, 12, 30), QTime(0, 0));

QString Text(const QDateTime& moment) {
    return moment.toString(QStringLiteral("ddd yyyy-MM-dd HH:mm:ss"));
}

TEST(EntryTimeTest, ReadsWellFormedEntriesAndRefusesDamagedOnes) {
    EXPECT_EQ(EntryTime(QStringLiteral("00:00:00")), 0.0);
    EXPECT_EQ(EntryTime(QStringLiteral("12:00:00")), 0.5);
    EXPECT_EQ(EntryTime(QStringLiteral("08:05:09")), (8 * 3600 + 5 * 60 + 9) / 86400.0);
    EXPECT_EQ(EntryTime(QStringLiteral("23:59:59")), 86399 / 86400.0);
    // The separators are not examined, as the editors always write ":".
    EXPECT_EQ(EntryTime(QStringLiteral("06.30.00")), 0.25 + 30 / 1440.0);
    for (const char* damaged : {"", "8:00:00", "08:00", "08:00:000", "08:0x:00", "-1:00:00", "24:00:00",
                                "10:60:00", "10:00:60", "\xef\xbc\x91\xef\xbc\x92:00:00"})
        EXPECT_EQ(EntryTime(QString::fromUtf8(damaged)), std::nullopt) << damaged;
}

TEST(EntryTimeTest, TimeOfDayTextWritesWhatEntryTimeReads) {
    for (const QTime time : {QTime(0, 0), QTime(8, 5, 0), QTime(23, 59, 59), QTime(13, 7, 42, 999)}) {
        const QString text = TimeOfDayText(time);
        ASSERT_EQ(text.size(), 8) << text.toStdString();
        const QTime whole(time.hour(), time.minute(), time.second());
        EXPECT_EQ(EntryTime(text), whole.msecsSinceStartOfDay() / 86400000.0) << text.toStdString();
    }
}

class NearestPastTaskTest : public testing::FakeClockInBerlinTest {
protected:
    QDateTime NearestPast(const TSchedulingSettings& schedule) {
        return FromDateTimeValue(GetDateTimeOfNearestPastTask(schedule));
    }
};

struct NearestPastCase {
    const char* name;
    TSchedulingSettings schedule;
    QDateTime now;
    QDateTime expected;
};

TEST_F(NearestPastTaskTest, FindsTheLatestStartStrictlyBeforeNow) {
    const QStringList morningAndEvening{QStringLiteral("08:00:00"), QStringLiteral("20:00:00")};
    const QStringList twice{QStringLiteral("09:00:00"), QStringLiteral("17:00:00")};
    const NearestPastCase cases[] = {
        {"weekly, after the morning start", WeeklySchedule({1}, morningAndEvening),
         QDateTime(Monday, QTime(12, 0)), QDateTime(Monday, QTime(8, 0))},
        {"weekly, just before the first start", WeeklySchedule({1}, morningAndEvening),
         QDateTime(Monday, QTime(7, 59)), QDateTime(PreviousMonday, QTime(20, 0))},
        {"weekly, at the exact moment of a start", WeeklySchedule({1}, morningAndEvening),
         QDateTime(Monday, QTime(8, 0)), QDateTime(PreviousMonday, QTime(20, 0))},
        {"weekly, one millisecond after a start", WeeklySchedule({1}, morningAndEvening),
         QDateTime(Monday, QTime(8, 0, 0, 1)), QDateTime(Monday, QTime(8, 0))},
        {"weekly, next day", WeeklySchedule({1}, morningAndEvening),
         QDateTime(Monday.addDays(1), QTime(0, 0)), QDateTime(Monday, QTime(20, 0))},
        {"midnight entry, just after midnight", DailySchedule({QStringLiteral("00:00:00")}),
         QDateTime(Monday, QTime(0, 0, 1)), QDateTime(Monday, QTime(0, 0))},
        {"midnight entry, at midnight", DailySchedule({QStringLiteral("00:00:00")}),
         QDateTime(Monday, QTime(0, 0)), QDateTime(Monday.addDays(-1), QTime(0, 0))},
        {"day 31 asked mid-March", MonthlySchedule({31}, twice), QDateTime(QDate(2026, 3, 15), QTime(10, 0)),
         QDateTime(QDate(2026, 1, 31), QTime(17, 0))},
        {"day 31 at its first start", MonthlySchedule({31}, twice),
         QDateTime(QDate(2026, 3, 31), QTime(9, 0)), QDateTime(QDate(2026, 1, 31), QTime(17, 0))},
        {"day 31 at its longest gap", MonthlySchedule({31}, twice),
         QDateTime(QDate(2026, 5, 30), QTime(23, 0)), QDateTime(QDate(2026, 3, 31), QTime(17, 0))},
        {"day 30 skips February", MonthlySchedule({30}, twice), QDateTime(QDate(2026, 3, 29), QTime(12, 0)),
         QDateTime(QDate(2026, 1, 30), QTime(17, 0))},
        {"day 29 in a leap year", MonthlySchedule({29}, twice), QDateTime(QDate(2028, 3, 1), QTime(12, 0)),
         QDateTime(QDate(2028, 2, 29), QTime(17, 0))},
        {"damaged entries are skipped",
         DailySchedule({QStringLiteral("8:00:00"), QStringLiteral("12:00:00"), QStringLiteral("13:xx:00"),
                        QStringLiteral("99:00:00")}),
         QDateTime(Monday, QTime(14, 0)), QDateTime(Monday, QTime(12, 0))},
        {"no weekday chosen", WeeklySchedule({}, morningAndEvening), QDateTime(Monday, QTime(12, 0)),
         NoStart},
        {"no day of the month chosen", MonthlySchedule({}, twice), QDateTime(Monday, QTime(12, 0)), NoStart},
        {"empty time table", WeeklySchedule({1, 2, 3}, {}), QDateTime(Monday, QTime(12, 0)), NoStart},
        {"only damaged entries", DailySchedule({QStringLiteral("noon")}), QDateTime(Monday, QTime(12, 0)),
         NoStart},
    };
    for (const NearestPastCase& c : cases) {
        clock_.Set(c.now);
        EXPECT_EQ(NearestPast(c.schedule), c.expected)
            << c.name << ": got " << Text(NearestPast(c.schedule)).toStdString();
    }
}

TEST_F(NearestPastTaskTest, ADisabledScheduleCountsEveryDay) {
    TSchedulingSettings schedule = WeeklySchedule({}, {QStringLiteral("10:00:00")});
    schedule.SchedulingType = stDisabled;
    SetNow(Monday, QTime(9, 0));
    EXPECT_EQ(NearestPast(schedule), QDateTime(Monday.addDays(-1), QTime(10, 0)));
}

TEST_F(NearestPastTaskTest, CountsCalendarDaysAcrossDaylightSavingChanges) {
    // Europe/Berlin: clocks go forward on 2026-03-29 at 02:00 and back on 2026-10-25 at 03:00.
    struct {
        const char* name;
        TSchedulingSettings schedule;
        QDateTime now;
        QDateTime expected;
    } cases[] = {
        {"a time the clock skipped still belongs to its day", DailySchedule({QStringLiteral("02:30:00")}),
         QDateTime(QDate(2026, 3, 29), QTime(3, 0)), QDateTime(QDate(2026, 3, 29), QTime(2, 30))},
        {"the day after the 23-hour day", WeeklySchedule({6}, {QStringLiteral("23:30:00")}),
         QDateTime(QDate(2026, 3, 30), QTime(0, 15)), QDateTime(QDate(2026, 3, 28), QTime(23, 30))},
        {"late on the 25-hour day", WeeklySchedule({6}, {QStringLiteral("23:30:00")}),
         QDateTime(QDate(2026, 10, 25), QTime(23, 30)), QDateTime(QDate(2026, 10, 24), QTime(23, 30))},
    };
    for (const auto& c : cases) {
        clock_.Set(c.now);
        EXPECT_EQ(NearestPast(c.schedule), c.expected)
            << c.name << ": got " << Text(NearestPast(c.schedule)).toStdString();
    }
}

class ScheduledSoonTest : public testing::FakeClockInBerlinTest {};

TEST_F(ScheduledSoonTest, LooksAtTodaysRemainingTimesAndTheNextDays) {
    const QStringList morningAndEvening{QStringLiteral("08:00:00"), QStringLiteral("20:00:00")};
    struct {
        const char* name;
        TSchedulingSettings schedule;
        QDateTime now;
        int32_t days;
        bool expected;
    } cases[] = {
        {"Sunday evening, Monday job", WeeklySchedule({1}, morningAndEvening),
         QDateTime(Monday.addDays(-1), QTime(21, 0)), 1, true},
        {"Monday after the last start", WeeklySchedule({1}, morningAndEvening),
         QDateTime(Monday, QTime(21, 0)), 1, false},
        {"Monday after the last start, Tuesday chosen too", WeeklySchedule({1, 2}, morningAndEvening),
         QDateTime(Monday, QTime(21, 0)), 1, true},
        {"a second before the last start", WeeklySchedule({1}, morningAndEvening),
         QDateTime(Monday, QTime(19, 59, 59)), 1, true},
        {"at the exact moment of the last start", WeeklySchedule({1}, morningAndEvening),
         QDateTime(Monday, QTime(20, 0)), 1, false},
        {"no days asked beyond today", WeeklySchedule({2}, morningAndEvening),
         QDateTime(Monday, QTime(21, 0)), 0, false},
        {"a week ahead", WeeklySchedule({1}, morningAndEvening), QDateTime(Monday, QTime(21, 0)), 7, true},
        {"empty time table, the job's day tomorrow", WeeklySchedule({1}, {}),
         QDateTime(Monday.addDays(-1), QTime(12, 0)), 1, true},
        {"empty time table, the job's day today", WeeklySchedule({1}, {}), QDateTime(Monday, QTime(12, 0)), 1,
         false},
        {"no weekday chosen", WeeklySchedule({}, morningAndEvening), QDateTime(Monday, QTime(1, 0)), 1,
         false},
        {"day 31 tomorrow", MonthlySchedule({31}, morningAndEvening),
         QDateTime(QDate(2026, 3, 30), QTime(21, 0)), 1, true},
        {"day 31 in a 30-day month", MonthlySchedule({31}, morningAndEvening),
         QDateTime(QDate(2026, 4, 30), QTime(21, 0)), 1, false},
        {"Sunday job on the Saturday before clocks go forward", WeeklySchedule({7}, morningAndEvening),
         QDateTime(QDate(2026, 3, 28), QTime(23, 30)), 1, true},
        {"Monday job early on the 25-hour Sunday", WeeklySchedule({1}, morningAndEvening),
         QDateTime(QDate(2026, 10, 25), QTime(0, 30)), 1, true},
    };
    for (const auto& c : cases) {
        clock_.Set(c.now);
        EXPECT_EQ(IsScheduledXDaysFromNow(c.schedule, c.days), c.expected) << c.name;
    }
}

TEST_F(ScheduledSoonTest, ADisabledScheduleIsNeverDue) {
    TSchedulingSettings schedule = DailySchedule({QStringLiteral("23:00:00")});
    schedule.SchedulingType = stDisabled;
    SetNow(Monday, QTime(12, 0));
    EXPECT_FALSE(IsScheduledXDaysFromNow(schedule, 31));
}

class LatenessTest : public testing::FakeClockInBerlinTest {};

TEST_F(LatenessTest, MeasuresRealSecondsSinceTheClockShowedTheStart) {
    const auto value = [](const QDate& date, const QTime& time) {
        return ToDateTimeValue(QDateTime(date, time));
    };
    const TDateTime skipped = ToDateTimeValue(QDateTime(QDate(2026, 3, 29), QTime(0, 0))) + 2.5 / 24;
    const QDate fallBack(2026, 10, 25);
    const qint64 hour = 3600;
    const QDateTime firstHalfPastTwo = QDateTime(fallBack, QTime(1, 30)).addSecs(hour);
    struct {
        const char* name;
        TDateTime start;
        QDateTime now;
        int64_t expected;
    } cases[] = {
        {"four seconds and a bit", value(Monday, QTime(10, 0)), QDateTime(Monday, QTime(10, 0, 4, 999)), 4},
        {"five seconds", value(Monday, QTime(10, 0)), QDateTime(Monday, QTime(10, 0, 5)), 5},
        {"skipped start, at the jump", skipped, QDateTime(QDate(2026, 3, 29), QTime(3, 0)), 0},
        {"skipped start, five seconds after the jump", skipped, QDateTime(QDate(2026, 3, 29), QTime(3, 0, 5)),
         5},
        {"time shown twice, first showing", value(fallBack, QTime(2, 30)), firstHalfPastTwo.addSecs(2), 2},
        {"time shown twice, second showing", value(fallBack, QTime(2, 30)),
         firstHalfPastTwo.addSecs(hour + 2), hour + 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SecondsSinceScheduledStart(c.start, c.now), c.expected) << c.name;
}

} // namespace
} // namespace morvane
