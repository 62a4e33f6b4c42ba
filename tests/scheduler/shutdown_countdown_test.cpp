#include "scheduler/shutdown_countdown.h"

#include "platform/program_state.h"
#include "scheduler_fakes.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

class ShutdownCountdownTest : public ::testing::Test {
protected:
    void SetUp() override { Program().ClosingRequested = false; }
    void TearDown() override { Program().ClosingRequested = false; }

    void RunSeconds(int count) {
        for (int i = 0; i < count; ++i)
            countdown_.OnSecond();
    }

    testing::FakePowerControl power_;
    testing::FakeShutdownDialog dialog_;
    int cancellations_ = 0;
    TShutdownCountdown countdown_{power_, dialog_, [this] {
                                      ++cancellations_;
                                  }};
};

TEST_F(ShutdownCountdownTest, CountsFromSixtyToZeroThenSwitchesOff) {
    countdown_.Start();
    EXPECT_TRUE(countdown_.IsTimerRunning());
    RunSeconds(60);
    ASSERT_EQ(dialog_.Messages.size(), 61);
    EXPECT_EQ(dialog_.Messages.first(), TShutdownCountdown::MessageText(60));
    EXPECT_EQ(dialog_.Messages[1],
              QStringLiteral("All backup tasks are done. According to the program settings, the "
                             "computer will be turned off after 59 seconds."));
    EXPECT_EQ(dialog_.Messages.last(), TShutdownCountdown::MessageText(0));
    EXPECT_TRUE(power_.Calls.isEmpty());
    EXPECT_FALSE(Program().ClosingRequested);

    RunSeconds(1);
    EXPECT_EQ(power_.Calls, QStringList{QStringLiteral("switch off")});
    EXPECT_TRUE(Program().ClosingRequested);
    EXPECT_FALSE(countdown_.IsTimerRunning());
    EXPECT_EQ(dialog_.Closes, 1);
    EXPECT_EQ(cancellations_, 0);

    // Closing the dialog after the switch-off is no cancel.
    countdown_.Cancel();
    RunSeconds(3);
    EXPECT_TRUE(Program().ClosingRequested);
    EXPECT_EQ(power_.Calls.size(), 1);
}

TEST_F(ShutdownCountdownTest, ShutdownButtonSwitchesOffAtTheNextSecond) {
    countdown_.Start();
    RunSeconds(5);
    countdown_.ShutdownNow();
    EXPECT_TRUE(power_.Calls.isEmpty());
    RunSeconds(1);
    EXPECT_EQ(power_.Calls, QStringList{QStringLiteral("switch off")});
}

TEST_F(ShutdownCountdownTest, CancelAndAFailedSwitchOffBothResumeNormalWork) {
    struct {
        const char* name;
        bool switchOffSucceeds;
        bool pressCancel;
    } cases[] = {{"cancel pressed", true, true}, {"switch-off failed", false, false}};
    for (const auto& c : cases) {
        power_.Calls.clear();
        power_.SwitchOffSucceeds = c.switchOffSucceeds;
        dialog_.Closes = 0;
        cancellations_ = 0;
        countdown_.Start();
        if (c.pressCancel) {
            RunSeconds(10);
            countdown_.Cancel();
        } else {
            RunSeconds(61);
        }
        EXPECT_FALSE(Program().ClosingRequested) << c.name;
        EXPECT_FALSE(countdown_.IsTimerRunning()) << c.name;
        EXPECT_FALSE(countdown_.IsShowing()) << c.name;
        EXPECT_EQ(cancellations_, 1) << c.name;
        EXPECT_EQ(dialog_.Closes, 1) << c.name;
        // Later seconds and a second close change nothing.
        countdown_.Cancel();
        RunSeconds(70);
        EXPECT_EQ(cancellations_, 1) << c.name;
        EXPECT_EQ(power_.Calls.size(), c.switchOffSucceeds ? 0 : 1) << c.name;
    }
}

} // namespace
} // namespace morvane
