#include "logbackend/core/Properties.h"
#include "logbackend/core/Text.h"

#include "CoreTestSupport.h"
#include "support/ScopedState.h"

#include <gtest/gtest.h>

#include <optional>

using vwnlog::Properties;

namespace
{
struct Case
{
    const wchar_t* text;
    const wchar_t* key;
    const wchar_t* value; // nullptr: the key is absent
};

std::wstring Shown(const wchar_t* value)
{
    return value != nullptr ? value : L"<absent>";
}

class PropertiesTest : public ::testing::Test
{
protected:
    logtest::DiagnosticCapture m_diagnostics;
};

TEST_F(PropertiesTest, Parse_RawValuesAsWritten)
{
    const struct
    {
        const wchar_t* text;
        size_t entries;
        std::vector<std::pair<const wchar_t*, const wchar_t*>> values;
    } cases[] = {
        // Only the first separator counts; a second '=' belongs to the value.
        {L"a=1\nb:2\nc 3\nd = 4\ne\t:\t5\nf  =  = 6\n",
         6,
         {{L"a", L"1"}, {L"b", L"2"}, {L"c", L"3"}, {L"d", L"4"}, {L"e", L"5"}, {L"f", L"= 6"}}},
        {L"# a=1\n! b=2\n   # c=3\n\n   \nd=4 # not a comment\n", 1, {{L"d", L"4 # not a comment"}}},
        // A continued line starting with '#' is part of the value, not a comment.
        {L"key=first, \\\n      second, \\\n# third\nnext=1",
         2,
         {{L"key", L"first, second, # third"}, {L"next", L"1"}}},
        // An even number of backslashes at the end does not join.
        {L"a=C:\\\\\nb=2", 2, {{L"a", L"C:\\"}, {L"b", L"2"}}},
        {L"   key =   value  \r\n", 1, {{L"key", L"value  "}}},
        // \t, \n, \f and \r are not escapes: paths are far commoner in these files than tabs.
        {L"File=C:\\ProgramData\\Tessaly\\Voltwren\\Voltwren.log\nTemp=C:\\temp\\new\\file\\report.log\n",
         2,
         {{L"File", L"C:\\ProgramData\\Tessaly\\Voltwren\\Voltwren.log"},
          {L"Temp", L"C:\\temp\\new\\file\\report.log"}}},
        {L"File=C:\\\\ProgramData\\\\Tessaly\\\\x.log", 1, {{L"File", L"C:\\ProgramData\\Tessaly\\x.log"}}},
        {L"a=caf\\u00e9\nb=C:\\users\\x\nc=\\u004",
         3,
         {{L"a", L"caf\u00e9"}, {L"b", L"C:\\users\\x"}, {L"c", L"\\u004"}}},
        {L"a\\=b\\:c\\ d=value", 1, {{L"a=b:c d", L"value"}}},
        {L"k=1\nother=x\nk=2\n", 2, {{L"k", L"2"}}},
        {L"a=1\r\nb=2\rc=3", 3, {{L"a", L"1"}, {L"b", L"2"}, {L"c", L"3"}}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(ToUtf8(c.text));
        const Properties p = Properties::Parse(c.text);
        EXPECT_EQ(c.entries, p.Entries().size());
        for (const auto& kv : c.values)
        {
            const std::wstring* value = p.Raw(kv.first);
            EXPECT_EQ(kv.second, value != nullptr ? *value : L"<absent>") << ToUtf8(kv.first);
        }
    }
    EXPECT_TRUE(m_diagnostics.Lines().empty());
}

TEST_F(PropertiesTest, Get_SubstitutesEnvironmentThenKeysOfTheFile)
{
    const ScopedEnvironment dir(L"VWN_LOGTEST_DIR", L"D:\\from-env");
    const ScopedEnvironment empty(L"VWN_LOGTEST_EMPTY", L"");
    const Case cases[] = {
        {L"VWN_LOGTEST_DIR=D:\\from-file\nFile=${VWN_LOGTEST_DIR}\\x.log", L"File", L"D:\\from-env\\x.log"},
        {L"VWN_LOGTEST_EMPTY=from-file\nv=[${VWN_LOGTEST_EMPTY}]", L"v", L"[]"},
        {L"base=C:\\Logs\nfolder=${base}\\Voltwren\nFile=${folder}\\v.log", L"File",
         L"C:\\Logs\\Voltwren\\v.log"},
        {L"v=a${VWN_LOGTEST_NO_SUCH_NAME}b", L"v", L"ab"},
        {L"a=1", L"b", nullptr},
        {L"a=1", L"A", nullptr},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(ToUtf8(c.text));
        const std::optional<std::wstring> value = Properties::Parse(c.text).Get(c.key);
        EXPECT_EQ(Shown(c.value), value.value_or(L"<absent>"));
    }
    EXPECT_TRUE(m_diagnostics.Lines().empty());
}

TEST_F(PropertiesTest, Get_BadSubstitutionsReported)
{
    const struct
    {
        const wchar_t* text;
        const wchar_t* value;
        const wchar_t* report;
    } cases[] = {
        {L"v=a${open", L"a${open",
         L"Log4cxxWrapper: ERROR \"a${open\" has \"${\" without a closing \"}\"; kept as written"},
        {L"a=${b}\nb=${a}\nv=[${a}]", L"[]",
         L"Log4cxxWrapper: ERROR ${a} is nested too deeply (a loop?); replaced by nothing"},
    };
    size_t reported = 0;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(ToUtf8(c.text));
        EXPECT_EQ(c.value, Properties::Parse(c.text).Get(L"v").value_or(L"<absent>"));
        const std::vector<std::wstring> lines = m_diagnostics.Lines();
        ASSERT_EQ(reported + 1, lines.size());
        EXPECT_EQ(c.report, lines[reported++]);
    }
}

TEST_F(PropertiesTest, Decode_HonoursByteOrderMarksAndReadsInvalidUtf8AsAnsiCodePage)
{
    EXPECT_EQ(L"a=\u00e9", vwnlog::DecodeConfigurationBytes("\xEF\xBB\xBF"
                                                            "a=\xC3\xA9"));
    EXPECT_EQ(L"a=\u00e9", vwnlog::DecodeConfigurationBytes(std::string("\xFF\xFE"
                                                                        "a\0=\0\xE9\0",
                                                                        8)));
    EXPECT_EQ(L"a=\u00e9", vwnlog::DecodeConfigurationBytes("a=\xC3\xA9"));
    if (GetACP() != 1252)
    {
        GTEST_SKIP() << "needs the Western European ANSI code page";
    }
    EXPECT_EQ(L"a=caf\u00e9", vwnlog::DecodeConfigurationBytes("a=caf\xE9"));
}
} // namespace
