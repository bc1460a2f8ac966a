#include "app/Globals.h"
#include "app/Options.h"
#include "base/TextCodec.h"
#include "support/BoundRecordingLog.h"

#include <gtest/gtest.h>

namespace
{
const std::wstring kBrief =
    L"[Voltwren][wWinMain] Got no cmd parameters or incorrect ones. => Show brief log contents.";
const std::wstring kDetailed = L"[Voltwren][wWinMain] Got the cmd directive. => Show detailed log contents.";

std::wstring RetryLine(int count, int form)
{
    return L"[Voltwren][wWinMain] g_readPresenceStatusRetryCount(" + std::to_wstring(count) + L") - " +
           std::to_wstring(form) + L".";
}
} // namespace

class OptionsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_readPresenceStatusRetryCount = kDefaultRetryCount;
        detailed = false;
    }

    std::vector<std::wstring> Apply(std::vector<std::wstring> args)
    {
        args.insert(args.begin(), L"C:\\Program Files\\Voltwren\\Voltwren.exe");
        detailed = ApplyCommandLineOptions(args);
        return log.Texts();
    }

    BoundRecordingLog log;
    bool detailed = false;
};

TEST_F(OptionsTest, NoArguments_KeepsDefaultsAndWritesBriefLine)
{
    EXPECT_EQ(std::vector<std::wstring>{kBrief}, Apply({}));
    EXPECT_EQ(50, g_readPresenceStatusRetryCount);
    EXPECT_FALSE(detailed);
}

TEST_F(OptionsTest, RetryCountThenShowConsole_ConsumesValue)
{
    const std::vector<std::wstring> expected = {RetryLine(7, 1), kDetailed};
    EXPECT_EQ(expected, Apply({L"-retrycount", L"7", L"-showconsole"}));
    EXPECT_EQ(7, g_readPresenceStatusRetryCount);
    EXPECT_TRUE(detailed);
}

TEST_F(OptionsTest, RetryCountFollowedByOption_Uses50AndExaminesTheOption)
{
    const std::vector<std::wstring> expected = {RetryLine(50, 1), kDetailed};
    EXPECT_EQ(expected, Apply({L"-retrycount", L"-showconsole"}));
    EXPECT_TRUE(detailed);
}

TEST_F(OptionsTest, RetryCountLast_WritesSecondForm)
{
    g_readPresenceStatusRetryCount = 3;
    const std::vector<std::wstring> expected = {RetryLine(50, 2), kBrief};
    EXPECT_EQ(expected, Apply({L"-retrycount"}));
    EXPECT_EQ(50, g_readPresenceStatusRetryCount);
}

TEST_F(OptionsTest, OptionNames_FoldOnlyAsciiLetters)
{
    Apply({L"-RETRYCOUNT", L"0", L"-ShowConsole"});
    EXPECT_EQ(0, g_readPresenceStatusRetryCount);
    EXPECT_TRUE(detailed);

    SetUp();
    const auto texts = Apply({L"-retrycount=5", L"/showconsole", L"-ToastActivated"});
    ASSERT_EQ(3u, texts.size());
    EXPECT_EQ(kBrief, texts.back());
    EXPECT_EQ(50, g_readPresenceStatusRetryCount);
    EXPECT_FALSE(detailed);
}

TEST_F(OptionsTest, RepeatedOptions_LastValueWins)
{
    const std::vector<std::wstring> expected = {RetryLine(5, 1), RetryLine(9, 1), kDetailed};
    EXPECT_EQ(expected,
              Apply({L"-retrycount", L"5", L"-retrycount", L"9", L"-showconsole", L"-showconsole"}));
    EXPECT_EQ(9, g_readPresenceStatusRetryCount);
}

TEST_F(OptionsTest, ValueIsConsumedOnce)
{
    EXPECT_EQ((std::vector<std::wstring>{RetryLine(12, 1), kBrief}), Apply({L"-retrycount", L"12", L"12"}));
    EXPECT_EQ(12, g_readPresenceStatusRetryCount);
}

TEST_F(OptionsTest, UnconvertibleValues_CountAsNotDigits)
{
    // Empty, above the signed 32-bit range, signed, leading zeros, the largest value.
    const struct
    {
        const wchar_t* value;
        int expected;
    } cases[] = {{L"", 50},   {L"2147483648", 50}, {L"99999999999999999999", 50}, {L"-1", 50},
                 {L"+3", 50}, {L"007", 7},         {L"2147483647", 2147483647}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.value);
        SetUp();
        const auto texts = Apply({L"-retrycount", c.value});
        EXPECT_EQ(c.expected, g_readPresenceStatusRetryCount);
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ(RetryLine(c.expected, 1), texts[texts.size() - 2]);
    }
}

TEST(ExitSwitchTest, MatchesTheWholeArgumentInAnyCaseAfterTheProgramPath)
{
    EXPECT_TRUE(HasExitSwitch({L"Voltwren.exe", L"-showconsole", L"-eXiT"}));
    EXPECT_FALSE(HasExitSwitch({L"-exit"}));
    EXPECT_FALSE(HasExitSwitch({L"Voltwren.exe", L"/exit", L"-exit=1", L"exit", L"-exit "}));
}

// What a restart repeats: everything after the path, as typed, quotes and all.
TEST(RestartArgumentsTest, AreTheTextAfterTheProgramPath)
{
    const struct
    {
        const wchar_t *line, *arguments;
    } cases[] = {
        {L"\"C:\\Program Files\\Voltwren\\Voltwren.exe\" -retrycount 3  \"-x y\"",
         L"-retrycount 3  \"-x y\""},
        {L"C:\\Voltwren\\Voltwren.exe\t-showconsole", L"-showconsole"},
        {L"\"C:\\My Voltwren\\Voltwren.exe\"-showconsole", L"-showconsole"},
        {L"\"C:\\Program Files\\Voltwren\\Voltwren.exe\"   ", L""},
        {L"Voltwren.exe", L""},
        {L"\"C:\\unclosed quote -showconsole", L""},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.arguments, ArgumentsAfterProgram(c.line)) << ToUtf8(c.line);
    }
}
