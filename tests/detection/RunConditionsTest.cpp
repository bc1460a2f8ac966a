// When detection runs, as the shell and the power notices change it.
#include "detection/RunConditions.h"

#include <gtest/gtest.h>

using Action = RunConditions::Action;

TEST(RunConditionsTest, OnlyADefiniteOfflineIsBattery)
{
    for (const BYTE mains : {BYTE(1), BYTE(255), BYTE(2)})
    {
        RunConditions conditions;
        EXPECT_EQ(Action::Start, conditions.Want());
        EXPECT_EQ(Action::None, conditions.PowerSource(mains)) << int(mains);
    }
}

TEST(RunConditionsTest, BatteryPausesAndMainsResumesOnlyWhileWanted)
{
    RunConditions conditions;
    // Start-up on battery: the status comes first, then Run.
    EXPECT_EQ(Action::Pause, conditions.PowerSource(0));
    EXPECT_EQ(Action::None, conditions.Want());
    EXPECT_EQ(Action::None, conditions.PowerSource(0));
    EXPECT_EQ(Action::Resume, conditions.PowerSource(1));

    // Sleep and wake-up on battery: no thread; mains then starts afresh.
    EXPECT_EQ(Action::Pause, conditions.PowerSource(0));
    conditions.StopWanting();
    EXPECT_EQ(Action::None, conditions.Want());
    EXPECT_EQ(Action::Start, conditions.PowerSource(1));
    EXPECT_EQ(Action::Pause, conditions.PowerSource(0));

    // Mains while asleep starts nothing; the wake-up does.
    conditions.StopWanting();
    EXPECT_EQ(Action::ResumeAtNextRun, conditions.PowerSource(1));
    EXPECT_EQ(Action::Start, conditions.Want());
    EXPECT_EQ(Action::None, conditions.PowerSource(255));
}
