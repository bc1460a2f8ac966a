#include "logbackend/core/DateFormat.h"
#include "logbackend/core/Layout.h"
#include "logbackend/core/Level.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

using namespace vwnlog;

namespace
{
SYSTEMTIME Time(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0, WORD ms = 0)
{
    SYSTEMTIME time = {};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    time.wMilliseconds = ms;
    // Fills in the day of the week.
    FILETIME file;
    SystemTimeToFileTime(&time, &file);
    FileTimeToSystemTime(&file, &time);
    return time;
}

std::wstring Text(const SYSTEMTIME& time)
{
    std::wstring text;
    DateFormat(L"yyyy-MM-dd HH:mm:ss.SSS EEE", L"test").Format(time, text);
    return text;
}

class LayoutTest : public ::testing::Test
{
protected:
    LayoutTest()
    {
        // Tuesday 5 March 2024, 07:08:09.012.
        m_event =
            LogEvent{L"vwn_1.0.0", Level::Debug, L"hello world", Time(2024, 3, 5, 7, 8, 9, 12), 0x1a2c, 1234};
    }

    std::wstring Format(const wchar_t* pattern)
    {
        std::wstring out;
        PatternLayout(pattern, L"appender \"test\"").Format(m_event, out);
        return out;
    }

    LogEvent m_event;
    logtest::DiagnosticCapture m_diagnostics;
};

TEST_F(LayoutTest, Pattern_ShippedPattern)
{
    EXPECT_EQ(L"2024-03-05 07:08:09,012 [0x00001a2c] DEBUG vwn_1.0.0 - hello world\r\n",
              Format(L"%d{ISO8601} [%t] %-5p %c - %m%n"));
    m_event.level = Level::Info;
    EXPECT_EQ(L"INFO  vwn_1.0.0\r\n", Format(L"%-5p %c%n"));
    EXPECT_TRUE(m_diagnostics.Lines().empty());
}

TEST_F(LayoutTest, Pattern_DateDefaultsToIso8601)
{
    EXPECT_EQ(L"2024-03-05 07:08:09,012", Format(L"%d"));
    EXPECT_EQ(L"2024-03-05 07:08:09,012", Format(L"%d{iso8601}"));
}

TEST_F(LayoutTest, Pattern_NamedDateFormats)
{
    EXPECT_EQ(L"07:08:09,012", Format(L"%d{ABSOLUTE}"));
    EXPECT_EQ(L"05 Mar 2024 07:08:09,012", Format(L"%d{DATE}"));
}

TEST_F(LayoutTest, Pattern_SimpleDateFormatLetters)
{
    EXPECT_EQ(L"2024-03-05 07:08:09,012", Format(L"%d{yyyy-MM-dd HH:mm:ss,SSS}"));
    EXPECT_EQ(L"24/3/5 7:08 AM Tue March", Format(L"%d{yy/M/d h:mm a EEE MMMM}"));
    EXPECT_EQ(L"Tuesday 065 07 7 12", Format(L"%d{EEEE DDD kk K S}"));
    EXPECT_EQ(L"20240305T070809'", Format(L"%d{yyyyMMdd'T'HHmmss''}"));
}

TEST_F(LayoutTest, Pattern_HoursAroundMidnightAndNoon)
{
    m_event.time = Time(2024, 3, 5, 0, 5);
    EXPECT_EQ(L"12 24 0 AM", Format(L"%d{h k K a}"));
    m_event.time = Time(2024, 3, 5, 12, 5);
    EXPECT_EQ(L"12 12 0 PM", Format(L"%d{h k K a}"));
}

TEST_F(LayoutTest, Pattern_UnknownDateLetterKeptAndReported)
{
    EXPECT_EQ(L"2024 Q", Format(L"%d{yyyy Q}"));
    const std::vector<std::wstring> lines = m_diagnostics.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(
        L"Log4cxxWrapper: ERROR date pattern \"yyyy Q\" of appender \"test\" has the unknown letter 'Q'; "
        L"kept as text",
        lines[0]);
}

TEST_F(LayoutTest, Pattern_LoggerPrecisionKeepsLastParts)
{
    // The program's logger names carry the version's dots; they count as parts.
    EXPECT_EQ(L"0", Format(L"%c{1}"));
    EXPECT_EQ(L"0.0", Format(L"%c{2}"));
    EXPECT_EQ(L"vwn_1.0.0", Format(L"%c{3}"));
    EXPECT_EQ(L"vwn_1.0.0", Format(L"%c{9}"));
}

TEST_F(LayoutTest, Pattern_BadLoggerPrecisionUsesFullNameAndReports)
{
    EXPECT_EQ(L"vwn_1.0.0", Format(L"%c{x}"));
    const std::vector<std::wstring> lines = m_diagnostics.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(
        L"Log4cxxWrapper: ERROR conversion pattern \"%c{x}\" of appender \"test\" has %c{x}, which is not a "
        L"positive number; the full name is used",
        lines[0]);
}

TEST_F(LayoutTest, Pattern_WidthModifiers)
{
    EXPECT_EQ(L"[     DEBUG]", Format(L"[%10p]"));
    EXPECT_EQ(L"[DEBUG     ]", Format(L"[%-10p]"));
    // A long item loses its beginning, as in log4j.
    EXPECT_EQ(L"[0.0]", Format(L"[%.3c]"));
    EXPECT_EQ(L"[world       ]", Format(L"[%-12.5m]"));
    EXPECT_EQ(L"[       world]", Format(L"[%12.5m]"));
    EXPECT_EQ(L"[DEBUG]", Format(L"[%2p]"));
}

TEST_F(LayoutTest, Pattern_ElapsedPercentAndCrLf)
{
    EXPECT_EQ(L"1234 100%\r\n", Format(L"%r 100%%%n"));
}

TEST_F(LayoutTest, Pattern_LocationAndContextConvertersGiveNothing)
{
    EXPECT_EQ(L"<>", Format(L"<%F%L%M%l%C%x%X{key}>"));
    EXPECT_EQ(L"<   >", Format(L"<%3L>"));
    EXPECT_TRUE(m_diagnostics.Lines().empty());
}

TEST_F(LayoutTest, Pattern_UnknownConverterKeptAndReported)
{
    EXPECT_EQ(L"%-5q hello world", Format(L"%-5q %m"));
    const std::vector<std::wstring> lines = m_diagnostics.Lines();
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(L"Log4cxxWrapper: ERROR conversion pattern \"%-5q %m\" of appender \"test\" has the unknown "
              L"conversion "
              L"character 'q'; \"%-5q\" kept as text",
              lines[0]);
}

TEST_F(LayoutTest, Pattern_TrailingPercentAndOptionsOfOtherConvertersAreText)
{
    EXPECT_EQ(L"100%", Format(L"100%"));
    EXPECT_EQ(L"hello world{x}", Format(L"%m{x}"));
    EXPECT_EQ(L"2024-03-05 07:08:09,012{", Format(L"%d{"));
}

TEST_F(LayoutTest, Pattern_DanglingDotReported)
{
    EXPECT_EQ(L"%5.p", Format(L"%5.p"));
    ASSERT_EQ(1u, m_diagnostics.Lines().size());
}

TEST_F(LayoutTest, Simple_LevelDashMessage)
{
    std::wstring out;
    SimpleLayout().Format(m_event, out);
    EXPECT_EQ(L"DEBUG - hello world\r\n", out);
}

TEST(LevelTest, Parse_AllNamesInAnyCase)
{
    const struct
    {
        const wchar_t* text;
        Level level;
    } cases[] = {{L"ALL", Level::All},     {L"trace", Level::Trace}, {L"Debug", Level::Debug},
                 {L" info ", Level::Info}, {L"wArN", Level::Warn},   {L"ERROR", Level::Error},
                 {L"fatal", Level::Fatal}, {L"oFf", Level::Off}};
    for (const auto& c : cases)
    {
        Level level = Level::Off;
        EXPECT_TRUE(ParseLevel(c.text, level)) << c.text;
        EXPECT_EQ(c.level, level) << c.text;
    }
    Level untouched = Level::Warn;
    EXPECT_FALSE(ParseLevel(L"VERBOSE", untouched));
    EXPECT_FALSE(ParseLevel(L"", untouched));
    EXPECT_EQ(Level::Warn, untouched);
}

TEST(RollingPeriodTest, NextPeriod_EachUnit)
{
    const SYSTEMTIME t = Time(2024, 2, 28, 13, 47, 21, 500);
    EXPECT_EQ(L"2024-02-28 13:48:00.000 Wed", Text(StartOfNextPeriod(t, CalendarUnit::Minute)));
    EXPECT_EQ(L"2024-02-28 14:00:00.000 Wed", Text(StartOfNextPeriod(t, CalendarUnit::Hour)));
    EXPECT_EQ(L"2024-02-29 00:00:00.000 Thu", Text(StartOfNextPeriod(t, CalendarUnit::HalfDay)));
    EXPECT_EQ(L"2024-02-29 00:00:00.000 Thu", Text(StartOfNextPeriod(t, CalendarUnit::Day)));
    EXPECT_EQ(L"2024-03-04 00:00:00.000 Mon", Text(StartOfNextPeriod(t, CalendarUnit::Week)));
    EXPECT_EQ(L"2024-03-01 00:00:00.000 Fri", Text(StartOfNextPeriod(t, CalendarUnit::Month)));
    EXPECT_EQ(L"2025-01-01 00:00:00.000 Wed", Text(StartOfNextPeriod(t, CalendarUnit::Year)));
    EXPECT_EQ(L"2024-02-28 12:00:00.000 Wed", Text(StartOfPeriod(t, CalendarUnit::HalfDay)));
    EXPECT_EQ(L"2024-02-26 00:00:00.000 Mon", Text(StartOfPeriod(t, CalendarUnit::Week)));
}

TEST(RollingPeriodTest, NextPeriod_CrossesYearEnd)
{
    const SYSTEMTIME t = Time(2024, 12, 31, 23, 59, 59, 999);
    EXPECT_EQ(L"2025-01-01 00:00:00.000 Wed", Text(StartOfNextPeriod(t, CalendarUnit::Minute)));
    EXPECT_EQ(L"2025-01-01 00:00:00.000 Wed", Text(StartOfNextPeriod(t, CalendarUnit::Month)));
    EXPECT_EQ(L"2025-01-06 00:00:00.000 Mon", Text(StartOfNextPeriod(t, CalendarUnit::Week)));
}

TEST(RollingPeriodTest, SmallestUnit_OfDatePatterns)
{
    EXPECT_EQ(CalendarUnit::Day, DateFormat(L"'.'yyyy-MM-dd", L"").SmallestUnit());
    EXPECT_EQ(CalendarUnit::Hour, DateFormat(L"'.'yyyy-MM-dd-HH", L"").SmallestUnit());
    EXPECT_EQ(CalendarUnit::Minute, DateFormat(L"'.'yyyy-MM-dd-HH-mm", L"").SmallestUnit());
    EXPECT_EQ(CalendarUnit::HalfDay, DateFormat(L"'.'yyyy-MM-dd-a", L"").SmallestUnit());
    EXPECT_EQ(CalendarUnit::Week, DateFormat(L"'.'yyyy-ww", L"").SmallestUnit());
    EXPECT_EQ(CalendarUnit::Month, DateFormat(L"'.'yyyy-MM", L"").SmallestUnit());
    // Letters inside quotes are text, not fields.
    EXPECT_EQ(CalendarUnit::None, DateFormat(L"'.mm'", L"").SmallestUnit());
}

TEST(RollingPeriodTest, WeekNumber_IsIso8601)
{
    std::wstring text;
    const DateFormat week(L"yyyy-ww", L"");
    week.Format(Time(2021, 1, 1), text); // a Friday: last week of 2020
    text += L' ';
    week.Format(Time(2024, 12, 30), text); // a Monday: first week of 2025
    text += L' ';
    week.Format(Time(2024, 3, 5), text);
    EXPECT_EQ(L"2021-53 2024-01 2024-10", text);
}
} // namespace
