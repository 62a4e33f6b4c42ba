#include "platform/date_time.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

struct DateTimeCase {
    QDateTime moment;
    double value;
};

TEST(DateTimeValueTest, ConvertsBothWaysAroundTheEpoch) {
    const DateTimeCase cases[] = {
        {QDateTime(QDate(1899, 12, 30), QTime(0, 0)), 0.0},
        {QDateTime(QDate(1899, 12, 31), QTime(12, 0)), 1.5},
        {QDateTime(QDate(1899, 12, 29), QTime(6, 0)), -1.25},
        {QDateTime(QDate(2025, 3, 3), QTime(14, 5, 9)), 45719.0 + (14 * 3600 + 5 * 60 + 9) / 86400.0},
    };
    for (const DateTimeCase& c : cases) {
        EXPECT_NEAR(ToDateTimeValue(c.moment), c.value, 1e-9) << c.moment.toString().toStdString();
        EXPECT_EQ(FromDateTimeValue(c.value), c.moment) << c.value;
    }
}

TEST(DateTimeValueTest, ValuesOnlyADamagedFileHoldsReadAsTheEpoch) {
    const QDateTime epoch(QDate(1899, 12, 30), QTime(0, 0));
    for (const double value : {1e300, -1e300, std::nan(""), 3e6})
        EXPECT_EQ(FromDateTimeValue(value), epoch) << value;
}

TEST(ClockTest, NowFollowsTheInstalledClockUntilItIsRemoved) {
    FakeClock clock(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)));
    SetClock(&clock);
    EXPECT_EQ(CurrentDateTime(), QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)));
    clock.AdvanceSeconds(60);
    EXPECT_EQ(CurrentDateTime(), QDateTime(QDate(2026, 1, 2), QTime(3, 5, 5)));
    SetClock(nullptr);
    EXPECT_GT(CurrentDateTime().date().year(), 2025);
}

} // namespace
} // namespace morvane
