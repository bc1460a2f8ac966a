#include "sim/charger-tool/Scenario.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace chargersim;

namespace
{
Scenario MustParse(const std::string& text)
{
    Scenario scenario;
    ParseError error;
    EXPECT_TRUE(ParseScenario(text, scenario, error)) << "line " << error.line << ": " << error.message;
    return scenario;
}

std::string AnswerAt(const Scenario& scenario, std::int64_t position, std::uint64_t seed = 1)
{
    StepPosition at;
    if (!LocateStep(scenario, seed, position, at))
        return "out of reach";
    const Answer answer = scenario.steps[at.step].answer;
    return answer.answers ? std::to_string(answer.status) : "none";
}
} // namespace

class ScenarioParseTest : public ::testing::Test
{
};

TEST_F(ScenarioParseTest, Parse_ReadsSettingsAndSteps)
{
    const Scenario scenario = MustParse("# a charger that answers at 0x40\n"
                                        "address 0x40\n"
                                        "delay 250 ms\n"
                                        "hold 1.5 s\n"
                                        "seed 7\n"
                                        "\n"
                                        "status 0 for 3 commands\n"
                                        "status 2 for 5 commands delay 0 ms hold 800ms   # slow chip\n"
                                        "none for 1 command\n"
                                        "status 0x01\n");
    EXPECT_EQ(0x40u, scenario.address);
    EXPECT_EQ(250u, scenario.delayMs);
    EXPECT_EQ(1500u, scenario.holdMs);
    ASSERT_TRUE(scenario.seed.has_value());
    EXPECT_EQ(7u, *scenario.seed);
    EXPECT_FALSE(scenario.repeat);
    EXPECT_EQ(StepUnit::Reads, scenario.unit);
    ASSERT_EQ(4u, scenario.steps.size());

    const Step& first = scenario.steps[0];
    EXPECT_EQ((Answer{true, 0}), first.answer);
    EXPECT_FALSE(first.forever);
    EXPECT_EQ(3, first.minLength);
    EXPECT_EQ(3, first.maxLength);
    EXPECT_FALSE(first.delayMs.has_value());
    EXPECT_FALSE(first.holdMs.has_value());
    EXPECT_EQ(7, first.line);

    const Step& second = scenario.steps[1];
    EXPECT_EQ((Answer{true, 2}), second.answer);
    EXPECT_EQ(5, second.minLength);
    ASSERT_TRUE(second.delayMs.has_value());
    EXPECT_EQ(0u, *second.delayMs);
    ASSERT_TRUE(second.holdMs.has_value());
    EXPECT_EQ(800u, *second.holdMs);

    EXPECT_FALSE(scenario.steps[2].answer.answers);
    EXPECT_EQ(1, scenario.steps[2].minLength);
    EXPECT_EQ((Answer{true, 1}), scenario.steps[3].answer);
    EXPECT_TRUE(scenario.steps[3].forever);
    EXPECT_EQ(10, scenario.steps[3].line);
}

TEST_F(ScenarioParseTest, Parse_WithoutStepsAnswersZeroForeverAt0x4E)
{
    for (const char* text : {"", "# nothing but a comment\r\n\r\n", "delay 100 ms\n"})
    {
        SCOPED_TRACE(text);
        const Scenario scenario = MustParse(text);
        EXPECT_EQ(0x4Eu, scenario.address);
        EXPECT_EQ(StepUnit::None, scenario.unit);
        ASSERT_EQ(1u, scenario.steps.size());
        EXPECT_EQ((Answer{true, 0}), scenario.steps[0].answer);
        EXPECT_TRUE(scenario.steps[0].forever);
    }
}

TEST_F(ScenarioParseTest, Parse_AcceptsByteOrderMarkCrLfTabsAndAnyCase)
{
    const Scenario scenario = MustParse("\xEF\xBB\xBF"
                                        "STATUS\t2\tFor 1.25s\r\n"
                                        "Status 0xff for 10ms\r\n"
                                        "none FOR 2..3 S\r\n"
                                        "Address 0xffffffff\r\n");
    EXPECT_EQ(0xFFFFFFFFu, scenario.address);
    EXPECT_EQ(StepUnit::Milliseconds, scenario.unit);
    ASSERT_EQ(3u, scenario.steps.size());
    EXPECT_EQ(1250, scenario.steps[0].minLength);
    EXPECT_EQ((Answer{true, 255}), scenario.steps[1].answer);
    EXPECT_EQ(10, scenario.steps[1].maxLength);
    EXPECT_EQ(2000, scenario.steps[2].minLength);
    EXPECT_EQ(3000, scenario.steps[2].maxLength);
}

TEST_F(ScenarioParseTest, Parse_ReadsSpeedAndRepeat)
{
    const Scenario scenario = MustParse("speed 0.25\nrepeat\nstatus 2 for 5..15 s\nstatus 0 for 1 s\n");
    EXPECT_DOUBLE_EQ(0.25, scenario.speed);
    EXPECT_TRUE(scenario.repeat);
    EXPECT_EQ(5000, scenario.steps[0].minLength);
    EXPECT_EQ(15000, scenario.steps[0].maxLength);
}

TEST_F(ScenarioParseTest, Parse_RefusesBadLinesNamingTheLine)
{
    struct Case
    {
        const char* text;
        int line;
        const char* message;
    };
    const Case cases[] = {
        {"status 2\nstauts 1\n", 2,
         "unknown word \"stauts\"; a line starts with address, delay, hold, speed, seed, repeat, status or "
         "none"},
        {"status 256\n", 1, "\"256\" is not a status byte from 0 to 255"},
        {"status -1\n", 1, "\"-1\" is not a status byte from 0 to 255"},
        {"status\n", 1, "\"status\" needs a byte from 0 to 255"},
        {"status 2 for 3\n", 1, "\"3\" needs a unit"},
        {"status 2 for\n", 1, "\"for\" needs a value with a unit"},
        {"status 2 for 3 days\n", 1, "\"3\" needs a unit"},
        {"status 2 for 3days\n", 1, "a step lasts a number of commands, s or ms, not \"days\""},
        {"status 2 for 1.5 commands\n", 1,
         "\"1.5 commands\" is not a length such as \"3 commands\", \"10 s\", \"500 ms\" or \"5..15 s\""},
        {"status 2 for 0 commands\n", 1, "a step must last at least 1 command"},
        {"status 2 for 0 s\n", 1, "a step must last at least 1 ms"},
        {"status 2 for 9..3 s\n", 1, "the range \"9..3\" runs backwards"},
        {"status 2 for 1.2345 s\n", 1,
         "\"1.2345 s\" is not a length such as \"3 commands\", \"10 s\", \"500 ms\" or \"5..15 s\""},
        {"status 2 for 3 commands for 2 commands\n", 1,
         "unexpected \"for\" in a step; a step reads \"status N [for LENGTH] [delay TIME] [hold TIME]\""},
        {"none for 1 command delay 5 ms\n", 1,
         "unexpected \"delay\" in a step; a step reads \"none [for LENGTH]\""},
        {"status 1\nstatus 2\n", 1,
         "only the last step may go on forever; give this one a length with \"for\""},
        {"status 1 for 2 s\n\nstatus 2 for 3 commands\n", 3,
         "this step is counted in commands, the one on line 1 in time; use one unit per scenario"},
        {"status 1 for 2 commands\nstatus 2 for 3 s\n", 2,
         "this step is counted in time, the one on line 1 in commands; use one unit per scenario"},
        {"status 1 delay 601 s\n", 1, "\"delay\" must be a time from 0 to 600 s, not \"601 s\""},
        {"hold 5 minutes\n", 1, "\"5\" needs a unit"},
        {"hold 5min\n", 1, "\"hold\" is a time: use ms or s, not \"min\""},
        {"address 4E\n", 1, "\"address\" needs a hexadecimal slave address such as 0x4E"},
        {"address 0x1FFFFFFFF\n", 1, "\"address\" needs a hexadecimal slave address such as 0x4E"},
        {"address 0x4E\naddress 0x40\n", 2, "\"address\" is given twice (first on line 1)"},
        {"address 0x4E 0x40\n", 1, "unexpected \"0x40\" after the address"},
        {"speed 0\n", 1, "\"speed\" needs a number above 0 and at most 1000, such as 0.5 or 2"},
        {"speed fast\n", 1, "\"speed\" needs a number above 0 and at most 1000, such as 0.5 or 2"},
        {"seed 18446744073709551616\n", 1, "\"seed\" needs a whole number from 0 to 18446744073709551615"},
        {"repeat\nstatus 1 for 2 commands\nstatus 2\n", 1,
         "\"repeat\" needs every step to have a length (\"for ...\")"},
        {"repeat\n", 1, "\"repeat\" needs every step to have a length (\"for ...\")"},
        {"speed 2\nstatus 1 for 2 commands\nstatus 2\n", 1,
         "\"speed\" applies to steps counted in time, and these steps count commands"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.text);
        Scenario scenario;
        scenario.address = 0x12;
        ParseError error;
        EXPECT_FALSE(ParseScenario(c.text, scenario, error));
        EXPECT_EQ(c.line, error.line);
        EXPECT_EQ(c.message, error.message);
        EXPECT_EQ(0x12u, scenario.address) << "a refused scenario must leave the output alone";
    }
}

TEST_F(ScenarioParseTest, Parse_FindsZeroByteInsideALine)
{
    Scenario scenario;
    ParseError error;
    EXPECT_FALSE(ParseScenario(std::string("status 1 for 2 commands\nstatus\0 2\n", 34), scenario, error));
    EXPECT_EQ(2, error.line);
    EXPECT_EQ("the line holds a zero byte; a scenario is a text file", error.message);
}

class ScenarioScheduleTest : public ::testing::Test
{
};

TEST_F(ScenarioScheduleTest, LocateStep_CountsReadsThroughTheSteps)
{
    const Scenario scenario =
        MustParse("status 0 for 3 commands\nstatus 2 for 5 commands\nnone for 1 command\nstatus 1\n");
    std::vector<std::string> answers;
    for (std::int64_t read = 0; read < 12; ++read)
        answers.push_back(AnswerAt(scenario, read));
    const std::vector<std::string> expected = {"0", "0", "0", "2", "2", "2", "2", "2", "none", "1", "1", "1"};
    EXPECT_EQ(expected, answers);
}

TEST_F(ScenarioScheduleTest, LocateStep_KeepsTheLastStepAfterItsLength)
{
    const Scenario scenario = MustParse("status 1 for 2 s\nstatus 2 for 3 s\n");
    EXPECT_EQ("1", AnswerAt(scenario, -500));
    EXPECT_EQ("1", AnswerAt(scenario, 1999));
    EXPECT_EQ("2", AnswerAt(scenario, 2000));
    EXPECT_EQ("2", AnswerAt(scenario, 5000));
    EXPECT_EQ("2", AnswerAt(scenario, 1000000000000LL));
}

TEST_F(ScenarioScheduleTest, LocateStep_RepeatStartsOverEvenFarAhead)
{
    const Scenario scenario = MustParse("repeat\nstatus 1 for 2 commands\nnone for 1 command\n");
    std::vector<std::string> answers;
    for (std::int64_t read = 0; read < 7; ++read)
        answers.push_back(AnswerAt(scenario, read));
    EXPECT_EQ((std::vector<std::string>{"1", "1", "none", "1", "1", "none", "1"}), answers);

    StepPosition at;
    ASSERT_TRUE(LocateStep(scenario, 1, 3000000002LL, at));
    EXPECT_EQ(1u, at.step);
    EXPECT_EQ(1000000000u, at.cycle);
    EXPECT_EQ(3000000002LL, at.begin);
}

TEST_F(ScenarioScheduleTest, LocateStep_GivesUpOnRandomStepsTooFarAhead)
{
    const Scenario scenario = MustParse("repeat\nstatus 1 for 1..2 ms\nstatus 0 for 1..2 ms\n");
    StepPosition at;
    EXPECT_FALSE(LocateStep(scenario, 1, 10000000000LL, at));
    EXPECT_TRUE(LocateStep(scenario, 1, 1000, at));
}

TEST_F(ScenarioScheduleTest, StepLength_DrawsWithinTheRangeTheSameWayEachTime)
{
    const Scenario scenario = MustParse("repeat\nstatus 2 for 5..15 s\nstatus 0 for 4 s\n");
    std::int64_t shortest = INT64_MAX;
    std::int64_t longest = 0;
    bool seedsDiffer = false;
    for (std::uint64_t cycle = 0; cycle < 1000; ++cycle)
    {
        const std::int64_t length = StepLength(scenario, 42, cycle, 0);
        EXPECT_EQ(length, StepLength(scenario, 42, cycle, 0));
        shortest = std::min(shortest, length);
        longest = std::max(longest, length);
        seedsDiffer = seedsDiffer || length != StepLength(scenario, 43, cycle, 0);
        EXPECT_EQ(4000, StepLength(scenario, 42, cycle, 1));
    }
    EXPECT_GE(shortest, 5000);
    EXPECT_LE(longest, 15000);
    // A draw that ignored the cycle or squeezed the range would fail these.
    EXPECT_LT(shortest, 5500);
    EXPECT_GT(longest, 14500);
    EXPECT_TRUE(seedsDiffer);
}

TEST_F(ScenarioScheduleTest, ChangeBegin_JoinsNeighbouringStepsWithTheSameAnswer)
{
    const Scenario scenario = MustParse(
        "status 0 for 10 s\nstatus 2 for 5 s\nstatus 2 for 5 s\nnone for 1 s\nnone for 1 s\nstatus 2\n");
    StepPosition at;
    ASSERT_TRUE(LocateStep(scenario, 1, 17000, at));
    EXPECT_EQ(2u, at.step);
    EXPECT_EQ(15000, at.begin);
    EXPECT_EQ(10000, ChangeBegin(scenario, 1, at));

    ASSERT_TRUE(LocateStep(scenario, 1, 21500, at));
    EXPECT_EQ(20000, ChangeBegin(scenario, 1, at));
    ASSERT_TRUE(LocateStep(scenario, 1, 99000, at));
    EXPECT_EQ(22000, ChangeBegin(scenario, 1, at));
    ASSERT_TRUE(LocateStep(scenario, 1, 3000, at));
    EXPECT_EQ(0, ChangeBegin(scenario, 1, at));
}

TEST_F(ScenarioScheduleTest, ChangeBegin_LooksBackIntoThePreviousCycle)
{
    const Scenario scenario = MustParse("repeat\nstatus 0 for 2 s\nstatus 2 for 3 s\nstatus 0 for 1 s\n");
    StepPosition at;
    ASSERT_TRUE(LocateStep(scenario, 1, 6500, at));
    EXPECT_EQ(0u, at.step);
    EXPECT_EQ(1u, at.cycle);
    EXPECT_EQ(5000, ChangeBegin(scenario, 1, at));
    ASSERT_TRUE(LocateStep(scenario, 1, 8000, at));
    EXPECT_EQ(8000, ChangeBegin(scenario, 1, at));
}
