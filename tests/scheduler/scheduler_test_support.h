#pragma once

#include "jobs/job.h"
#include "platform/date_time.h"

#include <QByteArray>
#include <QDateTime>
#include <QStringList>

#include <gtest/gtest.h>

#include <initializer_list>

namespace morvane::testing {

// Runs each test in a fixed time zone with daylight-saving changes, on a fake clock.
class FakeClockInBerlinTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void SetNow(const QDate& date, const QTime& time) { clock_.Set(QDateTime(date, time)); }

    FakeClock clock_{QDateTime(QDate(2026, 1, 5), QTime(12, 0))};

private:
    QByteArray savedZone_;
    bool hadZone_ = false;
};

// Schedules by their days: weekdays 1 (Monday) to 7, or days of the month 1 to 31.
TSchedulingSettings WeeklySchedule(std::initializer_list<int> weekdays, const QStringList& timeTable);
TSchedulingSettings MonthlySchedule(std::initializer_list<int> days, const QStringList& timeTable);
TSchedulingSettings DailySchedule(const QStringList& timeTable);

} // namespace morvane::testing
