#include "sim/charger-tool/Scenario.h"

#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using namespace chargersim;
using namespace std::string_literals;

namespace
{
// Every field of a parse result as text, so one comparison checks them all.
std::string Describe(const Scenario& s)
{
    const char* const units[] = {"none", "commands", "ms"};
    std::ostringstream o;
    o << "address 0x" << std::hex << std::uppercase << s.address << std::dec << " delay " << s.delayMs
      << " hold " << s.holdMs << " speed " << s.speed << " seed " << (s.seed ? std::to_string(*s.seed) : "-")
      << (s.repeat ? " repeat" : "") << " unit " << units[static_cast<int>(s.unit)];
    for (const Step& step : s.steps)
    {
        o << "\n" << step.line << ": " << (step.answer.answers ? std::to_string(step.answer.status) : "none");
        if (step.forever)
            o << " forever";
        else
            o << " for " << step.minLength << ".." << step.maxLength;
        if (step.delayMs)
            o << " delay " << *step.delayMs;
        if (step.holdMs)
            o << " hold " << *step.holdMs;
    }
    return o.str();
}

std::string AnswerAt(const Scenario& scenario, std::int64_t position)
{
    StepPosition at;
    if (!LocateStep(scenario, 1, position, at))
        return "out of reach";
    const Answer answer = scenario.steps[at.step].answer;
    return answer.answers ? std::to_string(answer.status) : "none";
}
} // namespace

TEST(ScenarioParseTest, Parse_ReadsSettingsAndSteps)
{
    const std::pair<const char*, const char*> cases[] = {
        {"# a charger that answers at 0x40\naddress 0x40\ndelay 250 ms\nhold 1.5 s\nseed 7\n\n"
         "status 0 for 3 commands\nstatus 2 for 5 commands delay 0 ms hold 800ms   # slow chip\n"
         "none for 1 command\nstatus 0x01\n",
         "address 0x40 delay 250 hold 1500 speed 1 seed 7 unit commands\n7: 0 for 3..3\n"
         "8: 2 for 5..5 delay 0 hold 800\n9: none for 1..1\n10: 1 forever"},
        // Byte-order mark, CRLF, tabs and any case.
        {"\xEF\xBB\xBFSTATUS\t2\tFor 1.25s\r\nStatus 0xff for 10ms\r\nnone FOR 2..3 S\r\nAddress 0xffffffff\r\n",
         "address 0xFFFFFFFF delay 0 hold 0 speed 1 seed - unit ms\n1: 2 for 1250..1250\n2: 255 for 10..10\n"
         "3: none for 2000..3000"},
        {"speed 0.25\nrepeat\nstatus 2 for 5..15 s\nstatus 0 for 1 s\n",
         "address 0x4E delay 0 hold 0 speed 0.25 seed - repeat unit ms\n3: 2 for 5000..15000\n4: 0 for 1000..1000"},
        // Without steps: status 0 forever.
        {"", "address 0x4E delay 0 hold 0 speed 1 seed - unit none\n0: 0 forever"},
        {"# nothing but a comment\r\n\r\n",
         "address 0x4E delay 0 hold 0 speed 1 seed - unit none\n0: 0 forever"},
        {"delay 100 ms\n", "address 0x4E delay 100 hold 0 speed 1 seed - unit none\n0: 0 forever"},
    };
    for (const auto& [text, expected] : cases)
    {
        SCOPED_TRACE(text);
        EXPECT_EQ(expected, Describe(MustParse(text)));
    }
}

TEST(ScenarioParseTest, Parse_RefusesBadLinesNamingTheLine)
{
    const char* const lengthHelp =
        "is not a length such as \"3 commands\", \"10 s\", \"500 ms\" or \"5..15 s\"";
    const char* const speedHelp = "\"speed\" needs a number above 0 and at most 1000, such as 0.5 or 2";
    const char* const addressHelp = "\"address\" needs a hexadecimal slave address such as 0x4E";
    const char* const repeatHelp = "\"repeat\" needs every step to have a length (\"for ...\")";
    const std::tuple<std::string, int, std::string> cases[] = {
        {"status 2\nstauts 1\n", 2,
         "unknown word \"stauts\"; a line starts with address, delay, hold, speed, seed, repeat, status or none"},
        {"status 256\n", 1, "\"256\" is not a status byte from 0 to 255"},
        {"status -1\n", 1, "\"-1\" is not a status byte from 0 to 255"},
        {"status\n", 1, "\"status\" needs a byte from 0 to 255"},
        {"status 2 for 3\n", 1, "\"3\" needs a unit"},
        {"status 2 for\n", 1, "\"for\" needs a value with a unit"},
        {"status 2 for 3 days\n", 1, "\"3\" needs a unit"},
        {"status 2 for 3days\n", 1, "a step lasts a number of commands, s or ms, not \"days\""},
        {"status 2 for 1.5 commands\n", 1, "\"1.5 commands\" "s + lengthHelp},
        {"status 2 for 0 commands\n", 1, "a step must last at least 1 command"},
        {"status 2 for 0 s\n", 1, "a step must last at least 1 ms"},
        {"status 2 for 9..3 s\n", 1, "the range \"9..3\" runs backwards"},
        {"status 2 for 1.2345 s\n", 1, "\"1.2345 s\" "s + lengthHelp},
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
        {"address 4E\n", 1, addressHelp},
        {"address 0x1FFFFFFFF\n", 1, addressHelp},
        {"address 0x4E\naddress 0x40\n", 2, "\"address\" is given twice (first on line 1)"},
        {"address 0x4E 0x40\n", 1, "unexpected \"0x40\" after the address"},
        {"speed 0\n", 1, speedHelp},
        {"speed fast\n", 1, speedHelp},
        {"seed 18446744073709551616\n", 1, "\"seed\" needs a whole number from 0 to 18446744073709551615"},
        {"repeat\nstatus 1 for 2 commands\nstatus 2\n", 1, repeatHelp},
        {"repeat\n", 1, repeatHelp},
        {"speed 2\nstatus 1 for 2 commands\nstatus 2\n", 1,
         "\"speed\" applies to steps counted in time, and these steps count commands"},
        {"status 1 for 2 commands\nstatus\0 2\n"s, 2,
         "the line holds a zero byte; a scenario is a text file"},
    };
    for (const auto& [text, line, message] : cases)
    {
        SCOPED_TRACE(text);
        Scenario scenario;
        scenario.address = 0x12;
        ExpectRefused(ParseScenario, text, line, message, scenario);
        EXPECT_EQ(0x12u, scenario.address) << "a refused scenario must leave the output alone";
    }
}

TEST(ScenarioScheduleTest, LocateStep_WalksTheStepsAndKeepsOrRepeatsTheLast)
{
    const std::tuple<const char*, std::vector<std::int64_t>, std::vector<std::string>> cases[] = {
        {"status 0 for 3 commands\nstatus 2 for 5 commands\nnone for 1 command\nstatus 1\n",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
         {"0", "0", "0", "2", "2", "2", "2", "2", "none", "1", "1", "1"}},
        {"status 1 for 2 s\nstatus 2 for 3 s\n",
         {-500, 1999, 2000, 5000, 1000000000000LL},
         {"1", "1", "2", "2", "2"}},
        {"repeat\nstatus 1 for 2 commands\nnone for 1 command\n",
         {0, 1, 2, 3, 4, 5, 6},
         {"1", "1", "none", "1", "1", "none", "1"}},
        // Random lengths cannot be skipped over, so far ahead is out of reach.
        {"repeat\nstatus 1 for 1..2 ms\nstatus 0 for 1..2 ms\n", {10000000000LL}, {"out of reach"}},
    };
    for (const auto& [text, positions, expected] : cases)
    {
        SCOPED_TRACE(text);
        const Scenario scenario = MustParse(text);
        std::vector<std::string> answers;
        for (std::int64_t position : positions)
            answers.push_back(AnswerAt(scenario, position));
        EXPECT_EQ(expected, answers);
    }
    StepPosition at;
    EXPECT_TRUE(LocateStep(MustParse("repeat\nstatus 1 for 1..2 ms\nstatus 0 for 1..2 ms\n"), 1, 1000, at));
}

TEST(ScenarioScheduleTest, ChangeBegin_JoinsStepsWithTheSameAnswerAcrossCycles)
{
    const char* const joined =
        "status 0 for 10 s\nstatus 2 for 5 s\nstatus 2 for 5 s\nnone for 1 s\nnone for 1 s\nstatus 2\n";
    const char* const cycling = "repeat\nstatus 0 for 2 s\nstatus 2 for 3 s\nstatus 0 for 1 s\n";
    const std::tuple<const char*, std::int64_t, const char*> cases[] = {
        {joined, 17000, "step 2 cycle 0 begin 15000 change 10000"},
        {joined, 21500, "step 4 cycle 0 begin 21000 change 20000"},
        {joined, 99000, "step 5 cycle 0 begin 22000 change 22000"},
        {joined, 3000, "step 0 cycle 0 begin 0 change 0"},
        // The first step of cycle 1 joins the last step of cycle 0.
        {cycling, 6500, "step 0 cycle 1 begin 6000 change 5000"},
        {cycling, 8000, "step 1 cycle 1 begin 8000 change 8000"},
        {"repeat\nstatus 1 for 2 commands\nnone for 1 command\n", 3000000002LL,
         "step 1 cycle 1000000000 begin 3000000002 change 3000000002"},
    };
    for (const auto& [text, position, expected] : cases)
    {
        SCOPED_TRACE(std::to_string(position) + " in " + text);
        const Scenario scenario = MustParse(text);
        StepPosition at;
        ASSERT_TRUE(LocateStep(scenario, 1, position, at));
        EXPECT_EQ(expected, "step " + std::to_string(at.step) + " cycle " + std::to_string(at.cycle) +
                                " begin " + std::to_string(at.begin) + " change " +
                                std::to_string(ChangeBegin(scenario, 1, at)));
    }
}

TEST(ScenarioScheduleTest, StepLength_DrawsWithinTheRangeTheSameWayEachTime)
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
