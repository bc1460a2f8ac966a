#include "logbackend/core/Properties.h"
#include "logbackend/core/Text.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

using vwnlog::Properties;

namespace
{
class PropertiesTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        SetEnvironmentVariableW(L"VWN_LOGTEST_DIR", nullptr);
        SetEnvironmentVariableW(L"VWN_LOGTEST_EMPTY", nullptr);
    }

    static std::wstring Value(const Properties& properties, const wchar_t* key)
    {
        const std::wstring* value = properties.Raw(key);
        return value != nullptr ? *value : L"<absent>";
    }

    logtest::DiagnosticCapture m_diagnostics;
};

TEST_F(PropertiesTest, Parse_AcceptsEqualsColonAndBlankSeparators)
{
    const Properties p = Properties::Parse(L"a=1\nb:2\nc 3\nd = 4\ne\t:\t5\nf  =  = 6\n");
    EXPECT_EQ(L"1", Value(p, L"a"));
    EXPECT_EQ(L"2", Value(p, L"b"));
    EXPECT_EQ(L"3", Value(p, L"c"));
    EXPECT_EQ(L"4", Value(p, L"d"));
    EXPECT_EQ(L"5", Value(p, L"e"));
    // Only the first separator counts; a second '=' belongs to the value.
    EXPECT_EQ(L"= 6", Value(p, L"f"));
    EXPECT_EQ(6u, p.Entries().size());
}

TEST_F(PropertiesTest, Parse_SkipsHashAndBangCommentsAndBlankLines)
{
    const Properties p = Properties::Parse(L"# a=1\n! b=2\n   # c=3\n\n   \nd=4 # not a comment\n");
    ASSERT_EQ(1u, p.Entries().size());
    EXPECT_EQ(L"4 # not a comment", Value(p, L"d"));
}

TEST_F(PropertiesTest, Parse_TrailingBackslashJoinsNextLineWithoutItsLeadingBlanks)
{
    const Properties p = Properties::Parse(L"key=first, \\\n      second, \\\n# third\nnext=1");
    // A continued line starting with '#' is part of the value, not a comment.
    EXPECT_EQ(L"first, second, # third", Value(p, L"key"));
    EXPECT_EQ(L"1", Value(p, L"next"));
}

TEST_F(PropertiesTest, Parse_EvenBackslashesAtLineEndDoNotJoin)
{
    const Properties p = Properties::Parse(L"a=C:\\\\\nb=2");
    EXPECT_EQ(L"C:\\", Value(p, L"a"));
    EXPECT_EQ(L"2", Value(p, L"b"));
}

TEST_F(PropertiesTest, Parse_SkipsLeadingBlanksOfValueAndKeepsTrailingOnes)
{
    const Properties p = Properties::Parse(L"   key =   value  \r\n");
    EXPECT_EQ(L"value  ", Value(p, L"key"));
}

TEST_F(PropertiesTest, Parse_KeepsSingleBackslashesOfWindowsPaths)
{
    const Properties p = Properties::Parse(L"File=C:\\ProgramData\\Tessaly\\Voltwren\\Voltwren.log\n"
                                           L"Temp=C:\\temp\\new\\file\\report.log\n");
    EXPECT_EQ(L"C:\\ProgramData\\Tessaly\\Voltwren\\Voltwren.log", Value(p, L"File"));
    // \t, \n, \f and \r are not escapes here: paths are far commoner in these files than tabs.
    EXPECT_EQ(L"C:\\temp\\new\\file\\report.log", Value(p, L"Temp"));
}

TEST_F(PropertiesTest, Parse_DoubleBackslashIsOneBackslash)
{
    const Properties p = Properties::Parse(L"File=C:\\\\ProgramData\\\\Tessaly\\\\x.log");
    EXPECT_EQ(L"C:\\ProgramData\\Tessaly\\x.log", Value(p, L"File"));
}

TEST_F(PropertiesTest, Parse_UnicodeEscapeNeedsFourHexDigits)
{
    const Properties p = Properties::Parse(L"a=caf\\u00e9\nb=C:\\users\\x\nc=\\u004");
    EXPECT_EQ(L"caf\u00e9", Value(p, L"a"));
    EXPECT_EQ(L"C:\\users\\x", Value(p, L"b"));
    EXPECT_EQ(L"\\u004", Value(p, L"c"));
}

TEST_F(PropertiesTest, Parse_EscapedSeparatorsBelongToTheKey)
{
    const Properties p = Properties::Parse(L"a\\=b\\:c\\ d=value");
    EXPECT_EQ(L"value", Value(p, L"a=b:c d"));
}

TEST_F(PropertiesTest, Parse_LaterValueReplacesEarlierOne)
{
    const Properties p = Properties::Parse(L"k=1\nother=x\nk=2\n");
    ASSERT_EQ(2u, p.Entries().size());
    EXPECT_EQ(L"2", Value(p, L"k"));
}

TEST_F(PropertiesTest, Parse_AcceptsCrLfAndLoneCrLineEnds)
{
    const Properties p = Properties::Parse(L"a=1\r\nb=2\rc=3");
    EXPECT_EQ(L"1", Value(p, L"a"));
    EXPECT_EQ(L"2", Value(p, L"b"));
    EXPECT_EQ(L"3", Value(p, L"c"));
}

TEST_F(PropertiesTest, Substitute_PrefersEnvironmentVariableOverKey)
{
    SetEnvironmentVariableW(L"VWN_LOGTEST_DIR", L"D:\\from-env");
    const Properties p = Properties::Parse(L"VWN_LOGTEST_DIR=D:\\from-file\nFile=${VWN_LOGTEST_DIR}\\x.log");
    EXPECT_EQ(L"D:\\from-env\\x.log", *p.Get(L"File"));
}

TEST_F(PropertiesTest, Substitute_EmptyEnvironmentVariableStillWins)
{
    SetEnvironmentVariableW(L"VWN_LOGTEST_EMPTY", L"");
    const Properties p = Properties::Parse(L"VWN_LOGTEST_EMPTY=from-file\nv=[${VWN_LOGTEST_EMPTY}]");
    EXPECT_EQ(L"[]", *p.Get(L"v"));
}

TEST_F(PropertiesTest, Substitute_FallsBackToKeyOfSameFileRecursively)
{
    const Properties p = Properties::Parse(L"base=C:\\Logs\nfolder=${base}\\Voltwren\nFile=${folder}\\v.log");
    EXPECT_EQ(L"C:\\Logs\\Voltwren\\v.log", *p.Get(L"File"));
}

TEST_F(PropertiesTest, Substitute_UnknownNameBecomesEmpty)
{
    const Properties p = Properties::Parse(L"v=a${VWN_LOGTEST_NO_SUCH_NAME}b");
    EXPECT_EQ(L"ab", *p.Get(L"v"));
    EXPECT_TRUE(m_diagnostics.Lines().empty());
}

TEST_F(PropertiesTest, Substitute_UnclosedBraceIsKeptAndReported)
{
    const Properties p = Properties::Parse(L"v=a${open");
    EXPECT_EQ(L"a${open", *p.Get(L"v"));
    const std::vector<std::wstring> lines = m_diagnostics.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(L"Log4cxxWrapper: ERROR \"a${open\" has \"${\" without a closing \"}\"; kept as written",
              lines[0]);
}

TEST_F(PropertiesTest, Substitute_LoopIsCutAndReported)
{
    const Properties p = Properties::Parse(L"a=${b}\nb=${a}\nv=[${a}]");
    EXPECT_EQ(L"[]", *p.Get(L"v"));
    const std::vector<std::wstring> lines = m_diagnostics.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(L"Log4cxxWrapper: ERROR ${a} is nested too deeply (a loop?); replaced by nothing", lines[0]);
}

TEST_F(PropertiesTest, Get_AbsentKeyHasNoValue)
{
    const Properties p = Properties::Parse(L"a=1");
    EXPECT_FALSE(p.Get(L"b").has_value());
    EXPECT_FALSE(p.Get(L"A").has_value());
}

TEST_F(PropertiesTest, Decode_HonoursByteOrderMarks)
{
    EXPECT_EQ(L"a=\u00e9", vwnlog::DecodeConfigurationBytes("\xEF\xBB\xBF"
                                                            "a=\xC3\xA9"));
    EXPECT_EQ(L"a=\u00e9", vwnlog::DecodeConfigurationBytes(std::string("\xFF\xFE"
                                                                        "a\0=\0\xE9\0",
                                                                        8)));
    EXPECT_EQ(L"a=\u00e9", vwnlog::DecodeConfigurationBytes("a=\xC3\xA9"));
}

TEST_F(PropertiesTest, Decode_ReadsInvalidUtf8AsAnsiCodePage)
{
    if (GetACP() != 1252)
    {
        GTEST_SKIP() << "needs the Western European ANSI code page";
    }
    EXPECT_EQ(L"a=caf\u00e9", vwnlog::DecodeConfigurationBytes("a=caf\xE9"));
}
} // namespace
