#include "logging/ApacheLogger.h"
#include "logging/LastErrorText.h"
#include "support/BoundRecordingLog.h"

#include <gtest/gtest.h>

#include <thread>

class ApacheLoggerTest : public ::testing::Test
{
protected:
    BoundRecordingLog log;
};

TEST_F(ApacheLoggerTest, GetLogger_AsksForNameVersionJoined)
{
    ApacheLogger::WriteW(ApacheLogger::GetLogger(L"vwn"), L"x");
    const auto records = log.Records();
    ASSERT_FALSE(records.empty());
    // The test prefix has no installer entries: the version text is "NaN".
    EXPECT_EQ(L"vwn_NaN", records.back().logger);
}

TEST_F(ApacheLoggerTest, DebugW_CutsLongMessagesTo4093Characters)
{
    const std::wstring longText(5000, L'x');
    ApacheLogger::DebugW(ApacheLogger::GetLogger(L"vwn"), L"%ws", longText.c_str());
    const std::string narrow(5000, 'y');
    ApacheLogger::DebugA(ApacheLogger::GetLogger(L"vwn"), "%s", narrow.c_str());
    const auto texts = log.Texts();
    ASSERT_EQ(2u, texts.size());
    EXPECT_EQ(std::wstring(4093, L'x'), texts[0]);
    EXPECT_EQ(std::wstring(4093, L'y'), texts[1]);
}

TEST_F(ApacheLoggerTest, Debug_RemovesTrailingBlanksOnly)
{
    auto logger = [] { return ApacheLogger::GetLogger(L"vwn"); };
    ApacheLogger::DebugW(logger(), L"three blanks%ws", L"   ");
    ApacheLogger::DebugW(logger(), L"blank and line feed \n");
    ApacheLogger::DebugW(logger(), L"tab\t");
    ApacheLogger::DebugW(logger(), L"carriage return\r");
    ApacheLogger::DebugW(logger(), L"%ws", L"     ");
    ApacheLogger::DebugA(logger(), "narrow %d  ", 7);
    const std::vector<std::wstring> expected = {
        L"three blanks", L"blank and line feed \n", L"tab\t", L"carriage return\r", L"", L"narrow 7"};
    EXPECT_EQ(expected, log.Texts());
}

TEST_F(ApacheLoggerTest, Debug_FormatsThePlatformWay)
{
    ApacheLogger::DebugW(ApacheLogger::GetLogger(L"vwn"), L"%ws|%s|%d|%x|%X|%08x|%#08x", L"wide",
                         L"also wide", -5, 0xab, 0xab, 0x1f, 0x1f);
    EXPECT_EQ(std::vector<std::wstring>{L"wide|also wide|-5|ab|AB|0000001f|0x00001f"}, log.Texts());
}

TEST_F(ApacheLoggerTest, Write_PassesTextUnchanged)
{
    ApacheLogger::WriteW(ApacheLogger::GetLogger(L"vwn"), L"100% sure   ");
    ApacheLogger::WriteA(ApacheLogger::GetLogger(L"vwn"), "%d trailing  ");
    const auto records = log.Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ('W', records[0].kind);
    EXPECT_EQ(L"100% sure   ", records[0].text);
    EXPECT_EQ('A', records[1].kind);
    EXPECT_EQ(L"%d trailing  ", records[1].text);
}

TEST(LastErrorTextTest, LastErrorText_ShapesCodeAndSystemText)
{
    EXPECT_EQ(0u, LastErrorText(0).find(L"{LastErrorCode : 0(0x0)} "));

    const std::wstring exists = LastErrorText(ERROR_ALREADY_EXISTS);
    EXPECT_EQ(0u, exists.find(L"{LastErrorCode : 183(0xB7)} "));
    ASSERT_GE(exists.size(), 2u);
    // The system's own line break ends the text.
    EXPECT_EQ(L"\r\n", exists.substr(exists.size() - 2));

    EXPECT_EQ(L"{LastErrorCode : -536870911(0xE0000001)} ", LastErrorText(0xE0000001));
}

TEST(LastErrorTextTest, LastErrorText_ThreadsNeverShareAText)
{
    std::wstring other;
    std::thread thread(
        [&other]
        {
            for (int i = 0; i < 200; ++i)
            {
                other = LastErrorText(ERROR_FILE_NOT_FOUND);
            }
        });
    int foreign = 0;
    for (int i = 0; i < 200; ++i)
    {
        foreign += LastErrorText(ERROR_ACCESS_DENIED).find(L"{LastErrorCode : 5(0x5)} ") == 0 ? 0 : 1;
    }
    thread.join();
    EXPECT_EQ(0, foreign);
    EXPECT_EQ(0u, other.find(L"{LastErrorCode : 2(0x2)} "));
}

TEST(LastErrorTextTest, LastErrorText_CutsLongSystemTextAt259)
{
    // Find a code whose system text makes the line longer than the buffer.
    for (DWORD code = 1; code < 16000; ++code)
    {
        wchar_t* text = nullptr;
        const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                                FORMAT_MESSAGE_FROM_SYSTEM,
                                            nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                            reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        if (text != nullptr)
        {
            LocalFree(text);
        }
        if (length > 240)
        {
            EXPECT_EQ(259u, LastErrorText(code).size()) << "code " << code;
            return;
        }
    }
    GTEST_SKIP() << "no system text long enough on this platform";
}
