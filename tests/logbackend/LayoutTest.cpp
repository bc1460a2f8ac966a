#include "logbackend/core/DateFormat.h"
#include "logbackend/core/Layout.h"
#include "logbackend/core/Level.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

using namespace vwnlog;

namespace
{
SYSTEMTIME Time(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0, WORD ms = 0)
{
    SYSTEMTIME time = {year, month, 0, day, hour, minute, second, ms};
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
    std::wstring Format(const wchar_t* pattern)
    {
        std::wstring out;
        PatternLayout(pattern, L"appender \"test\"").Format(m_event, out);
        return out;
    }

    // Tuesday 5 March 2024, 07:08:09.012.
    LogEvent m_event{L"vwn_1.0.0", Level::Debug, L"hello world", Time(2024, 3, 5, 7, 8, 9, 12), 0x1a2c, 1234};
    logtest::DiagnosticCapture m_diagnostics;
};

TEST_F(LayoutTest, Pattern_Converters)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"%d{ISO8601} [%t] %-5p %c - %m%n",
         L"2024-03-05 07:08:09,012 [0x00001a2c] DEBUG vwn_1.0.0 - hello world\r\n"},
        {L"%d", L"2024-03-05 07:08:09,012"},
        {L"%d{iso8601}", L"2024-03-05 07:08:09,012"},
        {L"%d{ABSOLUTE}", L"07:08:09,012"},
        {L"%d{DATE}", L"05 Mar 2024 07:08:09,012"},
        {L"%d{yyyy-MM-dd HH:mm:ss,SSS}", L"2024-03-05 07:08:09,012"},
        {L"%d{yy/M/d h:mm a EEE MMMM}", L"24/3/5 7:08 AM Tue March"},
        {L"%d{EEEE DDD kk K S}", L"Tuesday 065 07 7 12"},
        {L"%d{yyyyMMdd'T'HHmmss''}", L"20240305T070809'"},
        // The program's logger names carry the version's dots; they count as parts.
        {L"%c{1}", L"0"},
        {L"%c{2}", L"0.0"},
        {L"%c{3}", L"vwn_1.0.0"},
        {L"%c{9}", L"vwn_1.0.0"},
        {L"[%10p]", L"[     DEBUG]"},
        {L"[%-10p]", L"[DEBUG     ]"},
        // A long item loses its beginning, as in log4j.
        {L"[%.3c]", L"[0.0]"},
        {L"[%-12.5m]", L"[world       ]"},
        {L"[%12.5m]", L"[       world]"},
        {L"[%2p]", L"[DEBUG]"},
        {L"%r 100%%%n", L"1234 100%\r\n"},
        {L"<%F%L%M%l%C%x%X{key}>", L"<>"},
        {L"<%3L>", L"<   >"},
        {L"100%", L"100%"},
        {L"%m{x}", L"hello world{x}"},
        {L"%d{", L"2024-03-05 07:08:09,012{"},
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.second, Format(c.first)) << ::ToUtf8(c.first);
    }
    m_event.level = Level::Info;
    EXPECT_EQ(L"INFO  vwn_1.0.0\r\n", Format(L"%-5p %c%n"));
    EXPECT_TRUE(m_diagnostics.Lines().empty());
}

TEST_F(LayoutTest, Pattern_HoursAroundMidnightAndNoonAndIsoWeeks)
{
    const struct
    {
        SYSTEMTIME time;
        const wchar_t* pattern;
        const wchar_t* expected;
    } cases[] = {{Time(2024, 3, 5, 0, 5), L"%d{h k K a}", L"12 24 0 AM"},
                 {Time(2024, 3, 5, 12, 5), L"%d{h k K a}", L"12 12 0 PM"},
                 {Time(2021, 1, 1), L"%d{yyyy-ww}", L"2021-53"},   // a Friday: last week of 2020
                 {Time(2024, 12, 30), L"%d{yyyy-ww}", L"2024-01"}, // a Monday: first week of 2025
                 {Time(2024, 3, 5), L"%d{yyyy-ww}", L"2024-10"}};
    for (const auto& c : cases)
    {
        m_event.time = c.time;
        EXPECT_EQ(c.expected, Format(c.pattern)) << ::ToUtf8(Text(c.time));
    }
}

TEST_F(LayoutTest, Pattern_BadPartsKeptAndReported)
{
    const struct
    {
        const wchar_t* pattern;
        const wchar_t* out;
        const wchar_t* report; // nullptr: any one report
    } cases[] = {
        {L"%d{yyyy Q}", L"2024 Q",
         L"Log4cxxWrapper: ERROR date pattern \"yyyy Q\" of appender \"test\" has the unknown letter 'Q'; kept as text"},
        {L"%c{x}", L"vwn_1.0.0",
         L"Log4cxxWrapper: ERROR conversion pattern \"%c{x}\" of appender \"test\" has %c{x}, which is not a positive number; the full name is used"},
        {L"%-5q %m", L"%-5q hello world",
         L"Log4cxxWrapper: ERROR conversion pattern \"%-5q %m\" of appender \"test\" has the unknown conversion character 'q'; \"%-5q\" kept as text"},
        {L"%5.p", L"%5.p", nullptr},
    };
    size_t reported = 0;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(::ToUtf8(c.pattern));
        EXPECT_EQ(c.out, Format(c.pattern));
        const std::vector<std::wstring> lines = m_diagnostics.Lines();
        ASSERT_EQ(++reported, lines.size());
        if (c.report != nullptr)
        {
            EXPECT_EQ(c.report, lines.back());
        }
    }
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

TEST(RollingPeriodTest, PeriodStarts)
{
    using Cases = std::vector<std::pair<CalendarUnit, const wchar_t*>>;
    const auto check =
        [](SYSTEMTIME (*start)(const SYSTEMTIME&, CalendarUnit), const SYSTEMTIME& time, const Cases& cases)
    {
        SCOPED_TRACE(::ToUtf8(Text(time)));
        for (const auto& [unit, expected] : cases)
        {
            EXPECT_EQ(expected, Text(start(time, unit))) << "unit " << int(unit);
        }
    };
    const SYSTEMTIME t = Time(2024, 2, 28, 13, 47, 21, 500);
    check(StartOfNextPeriod, t,
          {{CalendarUnit::Minute, L"2024-02-28 13:48:00.000 Wed"},
           {CalendarUnit::Hour, L"2024-02-28 14:00:00.000 Wed"},
           {CalendarUnit::HalfDay, L"2024-02-29 00:00:00.000 Thu"},
           {CalendarUnit::Day, L"2024-02-29 00:00:00.000 Thu"},
           {CalendarUnit::Week, L"2024-03-04 00:00:00.000 Mon"},
           {CalendarUnit::Month, L"2024-03-01 00:00:00.000 Fri"},
           {CalendarUnit::Year, L"2025-01-01 00:00:00.000 Wed"}});
    check(StartOfPeriod, t,
          {{CalendarUnit::HalfDay, L"2024-02-28 12:00:00.000 Wed"},
           {CalendarUnit::Week, L"2024-02-26 00:00:00.000 Mon"}});
    check(StartOfNextPeriod, Time(2024, 12, 31, 23, 59, 59, 999),
          {{CalendarUnit::Minute, L"2025-01-01 00:00:00.000 Wed"},
           {CalendarUnit::Month, L"2025-01-01 00:00:00.000 Wed"},
           {CalendarUnit::Week, L"2025-01-06 00:00:00.000 Mon"}});
}

TEST(RollingPeriodTest, SmallestUnit_OfDatePatterns)
{
    const std::pair<const wchar_t*, CalendarUnit> cases[] = {{L"'.'yyyy-MM-dd", CalendarUnit::Day},
                                                             {L"'.'yyyy-MM-dd-HH", CalendarUnit::Hour},
                                                             {L"'.'yyyy-MM-dd-HH-mm", CalendarUnit::Minute},
                                                             {L"'.'yyyy-MM-dd-a", CalendarUnit::HalfDay},
                                                             {L"'.'yyyy-ww", CalendarUnit::Week},
                                                             {L"'.'yyyy-MM", CalendarUnit::Month},
                                                             // Letters inside quotes are text, not fields.
                                                             {L"'.mm'", CalendarUnit::None}};
    for (const auto& c : cases)
    {
        EXPECT_EQ(c.second, DateFormat(c.first, L"").SmallestUnit()) << ::ToUtf8(c.first);
    }
}
} // namespace
