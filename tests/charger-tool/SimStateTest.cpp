#include "sim/charger-tool/SimState.h"
#include "sim/charger-tool/Timestamp.h"
#include "sim/charger-tool/ToolCommand.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace chargersim;

namespace
{
// 1970-01-01T00:00:00Z in FILETIME ticks, as the platform documents it.
constexpr Ticks kUnixEpoch = 116444736000000000LL;
// 2024-05-01T12:00:00.000Z
constexpr Ticks kMay2024 = 133590384000000000LL;

Scenario MustParse(const std::string& text)
{
    Scenario scenario;
    ParseError error;
    EXPECT_TRUE(ParseScenario(text, scenario, error)) << "line " << error.line << ": " << error.message;
    return scenario;
}
} // namespace

class TimestampTest : public ::testing::Test
{
};

TEST_F(TimestampTest, Format_WritesUtcWithMillisecondsDroppingTheRest)
{
    EXPECT_EQ("1601-01-01T00:00:00.000Z", FormatTimestamp(0));
    EXPECT_EQ("1970-01-01T00:00:00.000Z", FormatTimestamp(kUnixEpoch));
    EXPECT_EQ("2024-02-29T23:59:59.999Z", FormatTimestamp(133537247999990000LL + 9999));
    EXPECT_EQ("2000-03-01T00:00:00.000Z", FormatTimestamp(125963424000000000LL));
    EXPECT_EQ("9999-12-31T23:59:59.000Z", FormatTimestamp(2650467743990000000LL));
}

TEST_F(TimestampTest, Parse_ReadsFractionsOfZeroToSevenDigits)
{
    Ticks instant = -1;
    ASSERT_TRUE(ParseTimestamp("2024-05-01T12:00:00.1234567Z", instant));
    EXPECT_EQ(kMay2024 + 1234567, instant);
    ASSERT_TRUE(ParseTimestamp("2024-05-01T12:00:00Z", instant));
    EXPECT_EQ(kMay2024, instant);
    ASSERT_TRUE(ParseTimestamp("2024-05-01T12:00:00.5Z", instant));
    EXPECT_EQ(kMay2024 + 5000000, instant);
    ASSERT_TRUE(ParseTimestamp("2024-02-29T23:59:59.999Z", instant));
    EXPECT_EQ(133537247999990000LL, instant);
    ASSERT_TRUE(ParseTimestamp("1601-01-01T00:00:00.000Z", instant));
    EXPECT_EQ(0, instant);
}

TEST_F(TimestampTest, Parse_RefusesWhatIsNotAnInstant)
{
    for (const char* text :
         {"", "2024-05-01", "2024-05-01T12:00:00", "2024-05-01T12:00:00.000", "2024-05-01 12:00:00Z",
          "2024-05-01T12:00:00.Z", "2024-05-01T12:00:00.12345678Z", "2024-05-01T12:00:00.000Z ",
          "2023-02-29T00:00:00Z", "2024-04-31T00:00:00Z", "2024-13-01T00:00:00Z", "2024-00-01T00:00:00Z",
          "2024-05-01T24:00:00Z", "2024-05-01T12:60:00Z", "2024-05-01T12:00:60Z", "1600-12-31T23:59:59Z",
          "+024-05-01T12:00:00Z"})
    {
        SCOPED_TRACE(text);
        Ticks instant = 77;
        EXPECT_FALSE(ParseTimestamp(text, instant));
        EXPECT_EQ(77, instant);
    }
}

class SimStateFileTest : public ::testing::Test
{
};

TEST_F(SimStateFileTest, Format_WritesEveryKnownField)
{
    SimState state;
    state.start = kMay2024;
    state.commands = 12;
    state.reads = 9;
    state.seed = 18446744073709551615ull;
    state.last = Answer{false, 0};
    state.since = kMay2024 + 15 * kTicksPerSecond;
    EXPECT_EQ("# Charger tool simulator state. Delete this file to start the scenario afresh.\n"
              "start=2024-05-01T12:00:00.000Z\n"
              "commands=12\n"
              "reads=9\n"
              "seed=18446744073709551615\n"
              "last=none\n"
              "since=2024-05-01T12:00:15.000Z\n",
              FormatState(state));
    state.last = Answer{true, 2};
    SimState read;
    ParseError error;
    ASSERT_TRUE(ParseState(FormatState(state), read, error)) << error.message;
    EXPECT_EQ(FormatState(state), FormatState(read));
}

TEST_F(SimStateFileTest, Parse_TakesFreshValuesForMissingFields)
{
    SimState state;
    ParseError error;
    ASSERT_TRUE(ParseState("  start = 2020-01-01T00:00:00Z \r\n\r\n# a bench wrote this\r\n", state, error));
    ASSERT_TRUE(state.start.has_value());
    EXPECT_EQ(132223104000000000LL, *state.start);
    EXPECT_EQ(0u, state.commands);
    EXPECT_EQ(0u, state.reads);
    EXPECT_FALSE(state.seed.has_value());
    EXPECT_FALSE(state.last.has_value());
    EXPECT_FALSE(state.since.has_value());

    ASSERT_TRUE(ParseState("", state, error));
    EXPECT_FALSE(state.start.has_value());
}

TEST_F(SimStateFileTest, Parse_RefusesBadLinesNamingTheLine)
{
    struct Case
    {
        const char* text;
        int line;
        const char* message;
    };
    const Case cases[] = {
        {"reads=3\nreads=x\n", 2, "reads needs a whole number"},
        {"commands=-1\n", 1, "commands needs a whole number"},
        {"seed=99999999999999999999\n", 1, "seed needs a whole number"},
        {"start=yesterday\n", 1, "start needs a UTC time such as 2024-05-01T12:00:00.000Z"},
        {"since=\n", 1, "since needs a UTC time such as 2024-05-01T12:00:00.000Z"},
        {"last=256\n", 1, "last needs a status byte from 0 to 255 or \"none\""},
        {"# fine\nstrat=2020-01-01T00:00:00Z\n", 2,
         "unknown key \"strat\"; known: start, commands, reads, seed, last, since"},
        {"start 2020-01-01T00:00:00Z\n", 1, "expected key=value, such as start=2024-05-01T12:00:00.000Z"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.text);
        SimState state;
        state.reads = 5;
        ParseError error;
        EXPECT_FALSE(ParseState(c.text, state, error));
        EXPECT_EQ(c.line, error.line);
        EXPECT_EQ(c.message, error.message);
        EXPECT_EQ(5u, state.reads);
    }
}

TEST_F(SimStateFileTest, ParseOverride_ReadsAByteOrNone)
{
    Answer answer;
    ParseError error;
    ASSERT_TRUE(ParseOverride("2\r\n", answer, error));
    EXPECT_EQ((Answer{true, 2}), answer);
    ASSERT_TRUE(ParseOverride("\xEF\xBB\xBF 0x01 ", answer, error));
    EXPECT_EQ((Answer{true, 1}), answer);
    ASSERT_TRUE(ParseOverride("none\n", answer, error));
    EXPECT_FALSE(answer.answers);
    for (const char* text : {"", "\n", "256", "two", "2 1", "0x100"})
    {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParseOverride(text, answer, error));
        EXPECT_EQ(1, error.line);
        EXPECT_EQ("expected a status byte from 0 to 255 or \"none\"", error.message);
    }
}

class DecideReadTest : public ::testing::Test
{
protected:
    // One command at `now`, as the simulator handles it.
    Reading Read(const Scenario& scenario, Ticks now, const std::optional<StatusOverride>& override = {})
    {
        CountCommand(state, now, 99);
        Reading reading;
        std::string error;
        EXPECT_TRUE(DecideRead(scenario, state, now, override, reading, error)) << error;
        return reading;
    }

    SimState state;
};

TEST_F(DecideReadTest, CommandSteps_ChangeIsDatedByTheFirstReadThatSawIt)
{
    const Scenario scenario =
        MustParse("status 0 for 2 commands\nstatus 2 for 1 command\nnone for 1 command\n"
                  "status 2\n");
    const Ticks t[] = {kMay2024,
                       kMay2024 + 14000000,
                       kMay2024 + 28000000,
                       kMay2024 + 42000000,
                       kMay2024 + 56000000,
                       kMay2024 + 70000000};
    std::vector<std::string> seen;
    for (Ticks now : t)
    {
        const Reading reading = Read(scenario, now);
        seen.push_back((reading.answer.answers ? std::to_string(reading.answer.status) : "none") + "@" +
                       FormatTimestamp(reading.since));
    }
    const std::vector<std::string> expected = {"0@2024-05-01T12:00:00.000Z", "0@2024-05-01T12:00:00.000Z",
                                               "2@2024-05-01T12:00:02.800Z", "none@2024-05-01T12:00:04.200Z",
                                               "2@2024-05-01T12:00:05.600Z", "2@2024-05-01T12:00:05.600Z"};
    EXPECT_EQ(expected, seen);
    EXPECT_EQ(6u, state.reads);
    EXPECT_EQ(6u, state.commands);
    ASSERT_TRUE(state.start.has_value());
    EXPECT_EQ(kMay2024, *state.start);
}

TEST_F(DecideReadTest, TimeSteps_ChangeIsDatedByTheStepBoundary)
{
    const Scenario scenario = MustParse("status 1 for 1 s\nstatus 2 for 1 s\nstatus 0\n");
    state.start = kMay2024;
    Reading reading = Read(scenario, kMay2024 + 15000000);
    EXPECT_EQ((Answer{true, 2}), reading.answer);
    EXPECT_EQ("2024-05-01T12:00:01.000Z", FormatTimestamp(reading.since));
    reading = Read(scenario, kMay2024 + 36000 * kTicksPerSecond);
    EXPECT_EQ((Answer{true, 0}), reading.answer);
    EXPECT_EQ("2024-05-01T12:00:02.000Z", FormatTimestamp(reading.since));
}

TEST_F(DecideReadTest, TimeSteps_SpeedScalesTheScenarioClock)
{
    const Scenario scenario = MustParse("speed 2\nstatus 1 for 1 s\nstatus 2 for 1 s\nstatus 0\n");
    state.start = kMay2024;
    const Reading reading = Read(scenario, kMay2024 + 7500000);
    EXPECT_EQ((Answer{true, 2}), reading.answer);
    EXPECT_EQ("2024-05-01T12:00:00.500Z", FormatTimestamp(reading.since));

    const Scenario slow = MustParse("speed 0.5\nstatus 1 for 1 s\nstatus 2\n");
    EXPECT_EQ((Answer{true, 1}), Read(slow, kMay2024 + 19990000).answer);
    EXPECT_EQ("2024-05-01T12:00:02.000Z", FormatTimestamp(Read(slow, kMay2024 + 20000000).since));
}

TEST_F(DecideReadTest, TimeSteps_BeforeTheStartTheFirstStepHolds)
{
    const Scenario scenario = MustParse("status 1 for 1 s\nstatus 2\n");
    state.start = kMay2024;
    const Reading reading = Read(scenario, kMay2024 - 3600 * kTicksPerSecond);
    EXPECT_EQ((Answer{true, 1}), reading.answer);
    EXPECT_EQ(kMay2024, reading.since);
}

TEST_F(DecideReadTest, FirstCommandFixesStartAndSeedLaterOnesKeepThem)
{
    CountCommand(state, kMay2024, 5);
    CountCommand(state, kMay2024 + kTicksPerSecond, 6);
    ASSERT_TRUE(state.start.has_value());
    EXPECT_EQ(kMay2024, *state.start);
    ASSERT_TRUE(state.seed.has_value());
    EXPECT_EQ(5u, *state.seed);
    EXPECT_EQ(2u, state.commands);
    EXPECT_EQ(0u, state.reads);
}

TEST_F(DecideReadTest, ScenarioSeedWinsOverTheStateSeed)
{
    const Scenario seeded =
        MustParse("seed 11\nrepeat\nstatus 2 for 1..1000 commands\nstatus 0 for 1 command\n");
    SimState other;
    other.seed = 12345;
    state.seed = 54321;
    StepPosition expected;
    ASSERT_TRUE(LocateStep(seeded, 11, 700, expected));
    other.reads = 700;
    state.reads = 700;
    Reading a;
    Reading b;
    std::string error;
    ASSERT_TRUE(DecideRead(seeded, other, kMay2024, {}, a, error));
    ASSERT_TRUE(DecideRead(seeded, state, kMay2024, {}, b, error));
    EXPECT_EQ(seeded.steps[expected.step].answer, a.answer);
    EXPECT_EQ(a.answer, b.answer);
}

TEST_F(DecideReadTest, Override_WinsAndIsDatedByItsWriteTime)
{
    const Scenario scenario = MustParse("delay 100 ms\nhold 200 ms\nstatus 1 delay 5 ms\n");
    const StatusOverride override{Answer{true, 2}, kMay2024 - kTicksPerSecond};
    Reading reading = Read(scenario, kMay2024, override);
    EXPECT_EQ((Answer{true, 2}), reading.answer);
    EXPECT_EQ(kMay2024 - kTicksPerSecond, reading.since);
    EXPECT_EQ(100u, reading.delayMs);
    EXPECT_EQ(200u, reading.holdMs);

    // Back to the scenario: its status 1 differs from the override's 2, so it begins now.
    reading = Read(scenario, kMay2024 + kTicksPerSecond);
    EXPECT_EQ((Answer{true, 1}), reading.answer);
    EXPECT_EQ(kMay2024 + kTicksPerSecond, reading.since);
    EXPECT_EQ(5u, reading.delayMs);
    EXPECT_EQ(200u, reading.holdMs);
}

TEST_F(DecideReadTest, OutOfReachPositionIsAnError)
{
    const Scenario scenario = MustParse("repeat\nstatus 1 for 1..2 ms\nnone for 1..2 ms\n");
    state.start = kUnixEpoch;
    CountCommand(state, kMay2024, 1);
    Reading reading;
    std::string error;
    EXPECT_FALSE(DecideRead(scenario, state, kMay2024, {}, reading, error));
    EXPECT_EQ(
        "the scenario has run through more than 1000000 steps since its start; delete the state file to "
        "start afresh",
        error);
}

class ToolCommandTest : public ::testing::Test
{
};

TEST_F(ToolCommandTest, AddressText_IsUpperCaseHexWithoutLeadingZeros)
{
    EXPECT_EQ("0x4E", AddressText(0x4E));
    EXPECT_EQ("0x40", AddressText(0x40));
    EXPECT_EQ("0x5", AddressText(0x05));
    EXPECT_EQ("0xFFFFFFFF", AddressText(0xFFFFFFFFu));
}

TEST_F(ToolCommandTest, ClassifyCommand_AnswersOnlyTheProgramsExactForm)
{
    using Args = std::vector<std::string>;
    EXPECT_EQ(CommandKind::Read, ClassifyCommand(Args{"0x4E", "1", "W", "1", "1", "D8"}, 0x4E));
    EXPECT_EQ(CommandKind::Read, ClassifyCommand(Args{"0xFFFFFFFF", "1", "W", "1", "1", "D8"}, 0xFFFFFFFFu));
    for (const Args& args : {Args{"0x40", "1", "W", "1", "1", "D8"}, Args{"0x4e", "1", "W", "1", "1", "D8"},
                             Args{"0x04E", "1", "W", "1", "1", "D8"}, Args{"4E", "1", "W", "1", "1", "D8"},
                             Args{"0X4E", "1", "W", "1", "1", "D8"}})
    {
        SCOPED_TRACE(args[0]);
        EXPECT_EQ(CommandKind::OtherAddress, ClassifyCommand(args, 0x4E));
    }
    for (const Args& args :
         {Args{}, Args{"0x4E"}, Args{"0x4E", "1", "W", "1", "1"}, Args{"0x4E", "1", "W", "1", "1", "D8", "x"},
          Args{"0x4E", "1", "w", "1", "1", "D8"}, Args{"0x4E", "1", "W", "1", "1", "d8"},
          Args{"0x4E", "1", "R", "1", "1", "D8"}, Args{"0x40", "1", "W", "1", "2", "D8"}})
    {
        SCOPED_TRACE(args.size());
        EXPECT_EQ(CommandKind::OtherArguments, ClassifyCommand(args, 0x4E));
    }
}

TEST_F(ToolCommandTest, ArgumentsText_DropsTheProgramNameAndTheBlanksAfterIt)
{
    EXPECT_EQ("0x4E 1 W 1 1 D8", ArgumentsText("ITERHPGen.exe 0x4E 1 W 1 1 D8"));
    EXPECT_EQ("0x4E 1 W 1 1 D8  ", ArgumentsText("ITERHPGen.exe \t 0x4E 1 W 1 1 D8  "));
    EXPECT_EQ("0x4E", ArgumentsText("\"C:\\Program Files\\V\\ITE inboxI2C Flash\\ITERHPGen.exe\" 0x4E"));
    EXPECT_EQ("1", ArgumentsText("\"C:\\a b\\x.exe\"tail 1"));
    EXPECT_EQ("", ArgumentsText("ITERHPGen.exe"));
    EXPECT_EQ("", ArgumentsText("\"unclosed name 0x4E"));
    EXPECT_EQ("", ArgumentsText(""));
}

TEST_F(ToolCommandTest, JournalLine_IsFourTabSeparatedFields)
{
    EXPECT_EQ("2024-05-01T12:00:00.000Z\t0x4E 1 W 1 1 D8\tanswered 2\t2024-05-01T11:59:59.000Z\n",
              JournalLine(kMay2024, "0x4E 1 W 1 1 D8", Outcome::Answered, 2, kMay2024 - kTicksPerSecond));
    EXPECT_EQ("2024-05-01T12:00:00.000Z\t\tsilent arguments\t-\n",
              JournalLine(kMay2024, "", Outcome::SilentArguments, 0, std::nullopt));
    EXPECT_EQ("2024-05-01T12:00:00.000Z\ta\\x09b\\\\c\\x0D\\x0A\\x7F \xC3\xA4\tfailed scenario\t-\n",
              JournalLine(kMay2024, "a\tb\\c\r\n\x7F \xC3\xA4", Outcome::FailedScenario, 0, std::nullopt));
}
