#include "sim/charger-tool/SimState.h"
#include "sim/charger-tool/Timestamp.h"
#include "sim/charger-tool/ToolCommand.h"

#include "SimTestSupport.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using namespace chargersim;

namespace
{
constexpr Ticks kUnixEpoch = 116444736000000000LL; // 1970-01-01T00:00:00Z in FILETIME ticks
constexpr Ticks kMay2024 = 133590384000000000LL;   // 2024-05-01T12:00:00.000Z
const std::string kHeader =
    "# Charger tool simulator state. Delete this file to start the scenario afresh.\n";

std::string Seen(const Reading& reading)
{
    return (reading.answer.answers ? std::to_string(reading.answer.status) : "none") + "@" +
           FormatTimestamp(reading.since);
}
} // namespace

TEST(TimestampTest, FormatAndParse_UtcWithMilliseconds)
{
    // ticks, text, the text FormatTimestamp gives (nullptr: the same)
    const std::tuple<Ticks, const char*, const char*> cases[] = {
        {0, "1601-01-01T00:00:00.000Z", nullptr},
        {kUnixEpoch, "1970-01-01T00:00:00.000Z", nullptr},
        {133537247999990000LL, "2024-02-29T23:59:59.999Z", nullptr},
        {125963424000000000LL, "2000-03-01T00:00:00.000Z", nullptr},
        {2650467743990000000LL, "9999-12-31T23:59:59.000Z", nullptr},
        {kMay2024 + 1234567, "2024-05-01T12:00:00.1234567Z", "2024-05-01T12:00:00.123Z"},
        {kMay2024, "2024-05-01T12:00:00Z", "2024-05-01T12:00:00.000Z"},
        {kMay2024 + 5000000, "2024-05-01T12:00:00.5Z", "2024-05-01T12:00:00.500Z"},
    };
    for (const auto& [ticks, text, formatted] : cases)
    {
        SCOPED_TRACE(text);
        Ticks instant = -1;
        EXPECT_TRUE(ParseTimestamp(text, instant));
        EXPECT_EQ(ticks, instant);
        EXPECT_EQ(formatted ? formatted : text, FormatTimestamp(ticks));
    }
    // Below a millisecond is dropped, not rounded.
    EXPECT_EQ("2024-02-29T23:59:59.999Z", FormatTimestamp(133537247999990000LL + 9999));
}

TEST(TimestampTest, Parse_RefusesWhatIsNotAnInstant)
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

TEST(SimStateFileTest, Format_WritesEveryKnownFieldAndReadsBack)
{
    SimState state;
    state.start = kMay2024;
    state.commands = 12;
    state.reads = 9;
    state.seed = 18446744073709551615ull;
    state.last = Answer{false, 0};
    state.since = kMay2024 + 15 * kTicksPerSecond;
    EXPECT_EQ(kHeader + "start=2024-05-01T12:00:00.000Z\ncommands=12\nreads=9\nseed=18446744073709551615\n"
                        "last=none\nsince=2024-05-01T12:00:15.000Z\n",
              FormatState(state));
    state.last = Answer{true, 2};
    SimState read;
    ParseError error;
    ASSERT_TRUE(ParseState(FormatState(state), read, error)) << error.message;
    EXPECT_EQ(FormatState(state), FormatState(read));
}

TEST(SimStateFileTest, Parse_TakesFreshValuesForMissingFields)
{
    SimState state;
    ParseError error;
    ASSERT_TRUE(ParseState("  start = 2020-01-01T00:00:00Z \r\n\r\n# a bench wrote this\r\n", state, error));
    EXPECT_EQ(kHeader + "start=2020-01-01T00:00:00.000Z\ncommands=0\nreads=0\n", FormatState(state));
    ASSERT_TRUE(ParseState("", state, error));
    EXPECT_EQ(kHeader + "commands=0\nreads=0\n", FormatState(state));
}

TEST(SimStateFileTest, Parse_RefusesBadLinesNamingTheLine)
{
    const char* const timeHelp = " needs a UTC time such as 2024-05-01T12:00:00.000Z";
    const std::tuple<const char*, int, std::string> cases[] = {
        {"reads=3\nreads=x\n", 2, "reads needs a whole number"},
        {"commands=-1\n", 1, "commands needs a whole number"},
        {"seed=99999999999999999999\n", 1, "seed needs a whole number"},
        {"start=yesterday\n", 1, std::string("start") + timeHelp},
        {"since=\n", 1, std::string("since") + timeHelp},
        {"last=256\n", 1, "last needs a status byte from 0 to 255 or \"none\""},
        {"# fine\nstrat=2020-01-01T00:00:00Z\n", 2,
         "unknown key \"strat\"; known: start, commands, reads, seed, last, since"},
        {"start 2020-01-01T00:00:00Z\n", 1, "expected key=value, such as start=2024-05-01T12:00:00.000Z"},
    };
    for (const auto& [text, line, message] : cases)
    {
        SCOPED_TRACE(text);
        SimState state;
        state.reads = 5;
        ExpectRefused(ParseState, text, line, message, state);
        EXPECT_EQ(5u, state.reads);
    }
}

TEST(SimStateFileTest, ParseOverride_ReadsAByteOrNone)
{
    Answer answer;
    ParseError error;
    const std::pair<const char*, Answer> good[] = {
        {"2\r\n", {true, 2}}, {"\xEF\xBB\xBF 0x01 ", {true, 1}}, {"none\n", {false, 0}}};
    for (const auto& [text, expected] : good)
    {
        SCOPED_TRACE(text);
        ASSERT_TRUE(ParseOverride(text, answer, error));
        EXPECT_EQ(expected, answer);
    }
    for (const char* text : {"", "\n", "256", "two", "2 1", "0x100"})
    {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParseOverride(text, answer, error));
        EXPECT_EQ(1, error.line);
        EXPECT_EQ("expected a status byte from 0 to 255 or \"none\"", error.message);
    }
}

TEST(SimStateFileTest, ParseFault_KnowsFourWordsOnly)
{
    Fault fault = Fault::Silent;
    ParseError error;
    EXPECT_TRUE(ParseFault(" Hang\r\n", fault, error));
    EXPECT_EQ(Fault::Hang, fault);
    EXPECT_TRUE(ParseFault("crash", fault, error));
    EXPECT_EQ(Fault::Crash, fault);
    EXPECT_TRUE(ParseFault("LEAVE", fault, error));
    EXPECT_EQ(Fault::Leave, fault);
    for (const char* text : {"", "silence", "hang hang"})
    {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParseFault(text, fault, error));
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
    std::vector<std::string> seen;
    for (Ticks now = kMay2024; now <= kMay2024 + 70000000; now += 14000000)
        seen.push_back(Seen(Read(scenario, now)));
    const std::vector<std::string> expected = {"0@2024-05-01T12:00:00.000Z", "0@2024-05-01T12:00:00.000Z",
                                               "2@2024-05-01T12:00:02.800Z", "none@2024-05-01T12:00:04.200Z",
                                               "2@2024-05-01T12:00:05.600Z", "2@2024-05-01T12:00:05.600Z"};
    EXPECT_EQ(expected, seen);
    EXPECT_EQ(kHeader + "start=2024-05-01T12:00:00.000Z\ncommands=6\nreads=6\nseed=99\nlast=2\n"
                        "since=2024-05-01T12:00:05.600Z\n",
              FormatState(state));
}

TEST_F(DecideReadTest, TimeSteps_ChangeIsDatedByTheStepBoundaryOnTheScaledClock)
{
    const char* const steps = "status 1 for 1 s\nstatus 2 for 1 s\nstatus 0\n";
    const std::tuple<std::string, Ticks, const char*> cases[] = {
        {steps, kMay2024 + 15000000, "2@2024-05-01T12:00:01.000Z"},
        {steps, kMay2024 + 36000 * kTicksPerSecond, "0@2024-05-01T12:00:02.000Z"},
        {std::string("speed 2\n") + steps, kMay2024 + 7500000, "2@2024-05-01T12:00:00.500Z"},
        {"speed 0.5\nstatus 1 for 1 s\nstatus 2\n", kMay2024 + 19990000, "1@2024-05-01T12:00:00.000Z"},
        {"speed 0.5\nstatus 1 for 1 s\nstatus 2\n", kMay2024 + 20000000, "2@2024-05-01T12:00:02.000Z"},
        // Before the start the first step holds.
        {"status 1 for 1 s\nstatus 2\n", kMay2024 - 3600 * kTicksPerSecond, "1@2024-05-01T12:00:00.000Z"},
    };
    for (const auto& [text, now, expected] : cases)
    {
        SCOPED_TRACE(text + FormatTimestamp(now));
        state = SimState{};
        state.start = kMay2024;
        EXPECT_EQ(expected, Seen(Read(MustParse(text), now)));
    }
}

TEST_F(DecideReadTest, FirstCommandFixesStartAndSeedLaterOnesKeepThem)
{
    CountCommand(state, kMay2024, 5);
    CountCommand(state, kMay2024 + kTicksPerSecond, 6);
    EXPECT_EQ(kHeader + "start=2024-05-01T12:00:00.000Z\ncommands=2\nreads=0\nseed=5\n", FormatState(state));
}

TEST_F(DecideReadTest, ScenarioSeedWinsOverTheStateSeed)
{
    const Scenario seeded =
        MustParse("seed 11\nrepeat\nstatus 2 for 1..1000 commands\nstatus 0 for 1 command\n");
    StepPosition expected;
    ASSERT_TRUE(LocateStep(seeded, 11, 700, expected));
    for (std::uint64_t seed : {12345u, 54321u})
    {
        SCOPED_TRACE(seed);
        SimState other;
        other.seed = seed;
        other.reads = 700;
        Reading reading;
        std::string error;
        ASSERT_TRUE(DecideRead(seeded, other, kMay2024, {}, reading, error));
        EXPECT_EQ(seeded.steps[expected.step].answer, reading.answer);
    }
}

TEST_F(DecideReadTest, Override_WinsAndIsDatedByItsWriteTime)
{
    const Scenario scenario = MustParse("delay 100 ms\nhold 200 ms\nstatus 1 delay 5 ms\n");
    Reading reading = Read(scenario, kMay2024, StatusOverride{Answer{true, 2}, kMay2024 - kTicksPerSecond});
    EXPECT_EQ("2@2024-05-01T11:59:59.000Z", Seen(reading));
    EXPECT_EQ(100u, reading.delayMs);
    EXPECT_EQ(200u, reading.holdMs);

    // Back to the scenario: its status 1 differs from the override's 2, so it begins now.
    reading = Read(scenario, kMay2024 + kTicksPerSecond);
    EXPECT_EQ("1@2024-05-01T12:00:01.000Z", Seen(reading));
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
        "the scenario has run through more than 1000000 steps since its start; delete the state file to start afresh",
        error);
}

TEST(ToolCommandTest, AddressText_IsUpperCaseHexWithoutLeadingZeros)
{
    EXPECT_EQ("0x4E", AddressText(0x4E));
    EXPECT_EQ("0x40", AddressText(0x40));
    EXPECT_EQ("0x5", AddressText(0x05));
    EXPECT_EQ("0xFFFFFFFF", AddressText(0xFFFFFFFFu));
}

TEST(ToolCommandTest, ClassifyCommand_AnswersOnlyTheProgramsExactForm)
{
    const auto kind = [](const char* line, std::uint32_t address)
    {
        std::vector<std::string> args;
        std::istringstream words(line);
        for (std::string word; words >> word;)
            args.push_back(word);
        return ClassifyCommand(args, address);
    };
    EXPECT_EQ(CommandKind::Read, kind("0x4E 1 W 1 1 D8", 0x4E));
    EXPECT_EQ(CommandKind::Read, kind("0xFFFFFFFF 1 W 1 1 D8", 0xFFFFFFFFu));
    for (const char* line :
         {"0x40 1 W 1 1 D8", "0x4e 1 W 1 1 D8", "0x04E 1 W 1 1 D8", "4E 1 W 1 1 D8", "0X4E 1 W 1 1 D8"})
        EXPECT_EQ(CommandKind::OtherAddress, kind(line, 0x4E)) << line;
    for (const char* line : {"", "0x4E", "0x4E 1 W 1 1", "0x4E 1 W 1 1 D8 x", "0x4E 1 w 1 1 D8",
                             "0x4E 1 W 1 1 d8", "0x4E 1 R 1 1 D8", "0x40 1 W 1 2 D8"})
        EXPECT_EQ(CommandKind::OtherArguments, kind(line, 0x4E)) << line;
}

TEST(ToolCommandTest, ArgumentsText_DropsTheProgramNameAndTheBlanksAfterIt)
{
    const std::pair<const char*, const char*> cases[] = {
        {"ITERHPGen.exe 0x4E 1 W 1 1 D8", "0x4E 1 W 1 1 D8"},
        {"ITERHPGen.exe \t 0x4E 1 W 1 1 D8  ", "0x4E 1 W 1 1 D8  "},
        {"\"C:\\Program Files\\V\\ITE inboxI2C Flash\\ITERHPGen.exe\" 0x4E", "0x4E"},
        {"\"C:\\a b\\x.exe\"tail 1", "1"},
        {"ITERHPGen.exe", ""},
        {"\"unclosed name 0x4E", ""},
        {"", ""},
    };
    for (const auto& [line, expected] : cases)
        EXPECT_EQ(expected, ArgumentsText(line)) << line;
}

TEST(ToolCommandTest, JournalLine_IsFourTabSeparatedFields)
{
    EXPECT_EQ("2024-05-01T12:00:00.000Z\t0x4E 1 W 1 1 D8\tanswered 2\t2024-05-01T11:59:59.000Z\n",
              JournalLine(kMay2024, "0x4E 1 W 1 1 D8", Outcome::Answered, 2, kMay2024 - kTicksPerSecond));
    EXPECT_EQ("2024-05-01T12:00:00.000Z\t\tsilent arguments\t-\n",
              JournalLine(kMay2024, "", Outcome::SilentArguments, 0, std::nullopt));
    EXPECT_EQ("2024-05-01T12:00:00.000Z\ta\\x09b\\\\c\\x0D\\x0A\\x7F \xC3\xA4\tfailed scenario\t-\n",
              JournalLine(kMay2024, "a\tb\\c\r\n\x7F \xC3\xA4", Outcome::FailedScenario, 0, std::nullopt));
}
