#include "control/command_state.h"

#include <gtest/gtest.h>

namespace morvane {
namespace {

struct CommandStateCase {
    const char* name;
    std::optional<TJobStatus> selected;
    TCommandState expected;
};

TEST(CommandStateTest, FollowsTheSelectedJobsStatus) {
    const TCommandState idle{true, true, false, false, TJobListMenu::IdleJob};
    const TCommandState active{false, false, true, false, TJobListMenu::ActiveJob};
    const TCommandState paused{false, false, true, true, TJobListMenu::ActiveJob};
    const CommandStateCase cases[] = {
        {"no selection", std::nullopt, TCommandState{}},
        {"idle", jsNone, idle},
        {"waiting", jsWaiting, active},
        {"running", jsRunning, active},
        {"paused", jsPaused, paused},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CommandStateFor(c.selected, paused), c.expected) << c.name;
}

TEST(CommandStateTest, CancellingKeepsTheRunCommandsOfThePreviousTick) {
    const TCommandState previous{false, false, true, true, TJobListMenu::ActiveJob};
    const TCommandState state = CommandStateFor(jsCancelling, previous);
    EXPECT_FALSE(state.IdleJobCommands);
    EXPECT_EQ(state.ListMenu, TJobListMenu::ActiveJob);
    EXPECT_TRUE(state.RunPauseCancel);
    EXPECT_TRUE(state.PauseIsResume);
}

} // namespace
} // namespace morvane
