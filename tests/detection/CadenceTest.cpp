// The settled cadence's timing, on its own: no console, no program.
#include "detection/Cadence.h"
#include "detection/PollingFigures.h"

#include <gtest/gtest.h>

TEST(CadenceTest, SettlesAfterItsTimeUnlessZero_AndAttentionMakesItActiveAgain)
{
    Cadence never(CadencePolicy{0, 3000});
    Sleep(20);
    never.SettleIfDue();
    EXPECT_EQ(kCommandSpacingMs, never.CommandSpacingMs());

    Cadence soon(CadencePolicy{10, 3000});
    Sleep(20);
    soon.SettleIfDue();
    EXPECT_EQ(3000u, soon.CommandSpacingMs());
    soon.Attention(L"a test");
    EXPECT_EQ(kCommandSpacingMs, soon.CommandSpacingMs());
}
