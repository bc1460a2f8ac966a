#include "logbackend/core/DateFormat.h"

#include "logbackend/core/Diagnostics.h"

#include <cwchar>

namespace vwnlog
{
namespace
{
constexpr const wchar_t* kMonths[] = {L"January",   L"February", L"March",    L"April",
                                      L"May",       L"June",     L"July",     L"August",
                                      L"September", L"October",  L"November", L"December"};
constexpr const wchar_t* kDays[] = {L"Sunday",   L"Monday", L"Tuesday", L"Wednesday",
                                    L"Thursday", L"Friday", L"Saturday"};
constexpr wchar_t kKnownLetters[] = L"yMdDEaHkKhmsSw";
constexpr ULONGLONG kTicksPerSecond = 10000000ULL;
constexpr ULONGLONG kTicksPerDay = 86400ULL * kTicksPerSecond;

bool IsLetter(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
}

// Every line formats several of these; the C runtime's printf costs more than the rest of the line.
void AppendNumber(unsigned value, int width, std::wstring& out)
{
    wchar_t digits[16];
    int length = 0;
    do
    {
        digits[length++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0 && length < 16);
    for (int pad = width - length; pad > 0; --pad)
    {
        out += L'0';
    }
    while (length > 0)
    {
        out += digits[--length];
    }
}

void AppendName(const wchar_t* name, int count, std::wstring& out)
{
    out.append(name, count >= 4 ? wcslen(name) : 3);
}

ULONGLONG ToTicks(const SYSTEMTIME& time)
{
    FILETIME file = {};
    SystemTimeToFileTime(&time, &file);
    return (static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime;
}

SYSTEMTIME FromTicks(ULONGLONG ticks)
{
    FILETIME file;
    file.dwLowDateTime = static_cast<DWORD>(ticks);
    file.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    SYSTEMTIME time = {};
    FileTimeToSystemTime(&file, &time);
    return time;
}

unsigned DayOfYear(const SYSTEMTIME& time)
{
    SYSTEMTIME january = {};
    january.wYear = time.wYear;
    january.wMonth = 1;
    january.wDay = 1;
    SYSTEMTIME day = time;
    day.wHour = day.wMinute = day.wSecond = day.wMilliseconds = 0;
    return static_cast<unsigned>((ToTicks(day) - ToTicks(january)) / kTicksPerDay) + 1;
}

// ISO 8601 week number: weeks start on Monday, week 1 holds the year's first Thursday.
unsigned IsoWeek(const SYSTEMTIME& time)
{
    const int weekday = time.wDayOfWeek == 0 ? 7 : time.wDayOfWeek;
    const int ordinal = static_cast<int>(DayOfYear(time));
    int week = (ordinal - weekday + 10) / 7;
    if (week < 1)
    {
        SYSTEMTIME last = {};
        last.wYear = static_cast<WORD>(time.wYear - 1);
        last.wMonth = 12;
        last.wDay = 31;
        last = FromTicks(ToTicks(last));
        return IsoWeek(last);
    }
    if (week == 53)
    {
        SYSTEMTIME last = {};
        last.wYear = time.wYear;
        last.wMonth = 12;
        last.wDay = 31;
        last = FromTicks(ToTicks(last));
        const int lastWeekday = last.wDayOfWeek == 0 ? 7 : last.wDayOfWeek;
        if (lastWeekday < 4)
        {
            week = 1;
        }
    }
    return static_cast<unsigned>(week);
}
// 'text' with '' for a quote inside, or '' alone for a quote; i is at the
// opening quote and ends after the closing one.
std::wstring ReadQuoted(std::wstring_view pattern, size_t& i)
{
    if (i + 1 < pattern.size() && pattern[i + 1] == L'\'')
    {
        i += 2;
        return L"'";
    }
    std::wstring text;
    for (++i; i < pattern.size(); ++i)
    {
        if (pattern[i] != L'\'')
        {
            text += pattern[i];
        }
        else if (i + 1 < pattern.size() && pattern[i + 1] == L'\'')
        {
            text += pattern[++i];
        }
        else
        {
            ++i;
            break;
        }
    }
    return text;
}

// The number a field shows, or -1 for a field shown by name or as text.
int NumberShown(wchar_t letter, int count, const SYSTEMTIME& time)
{
    switch (letter)
    {
    case L'y':
        return count == 2 ? time.wYear % 100 : time.wYear;
    case L'M':
        return count >= 3 ? -1 : time.wMonth;
    case L'd':
        return time.wDay;
    case L'D':
        return static_cast<int>(DayOfYear(time));
    case L'H':
        return time.wHour;
    case L'k':
        return time.wHour == 0 ? 24 : time.wHour;
    case L'K':
        return time.wHour % 12;
    case L'h':
        return time.wHour % 12 == 0 ? 12 : time.wHour % 12;
    case L'm':
        return time.wMinute;
    case L's':
        return time.wSecond;
    case L'S':
        return time.wMilliseconds;
    case L'w':
        return static_cast<int>(IsoWeek(time));
    default:
        return -1;
    }
}
} // namespace

DateFormat::DateFormat(std::wstring_view pattern, std::wstring_view context)
{
    size_t i = 0;
    while (i < pattern.size())
    {
        const wchar_t c = pattern[i];
        if (c == L'\'')
        {
            m_tokens.push_back({0, 0, ReadQuoted(pattern, i)});
            continue;
        }
        if (!IsLetter(c))
        {
            m_tokens.push_back({0, 0, std::wstring(1, c)});
            ++i;
            continue;
        }
        size_t end = i;
        while (end < pattern.size() && pattern[end] == c)
        {
            ++end;
        }
        if (wcschr(kKnownLetters, c) == nullptr)
        {
            ReportError(L"date pattern \"" + std::wstring(pattern) + L"\" of " + std::wstring(context) +
                        L" has the unknown letter '" + std::wstring(1, c) + L"'; kept as text");
            m_tokens.push_back({0, 0, std::wstring(pattern.substr(i, end - i))});
        }
        else
        {
            m_tokens.push_back({c, static_cast<int>(end - i), std::wstring()});
        }
        i = end;
    }
}

void DateFormat::Format(const SYSTEMTIME& time, std::wstring& out) const
{
    for (const Token& token : m_tokens)
    {
        const int number = NumberShown(token.letter, token.count, time);
        if (number >= 0)
        {
            AppendNumber(static_cast<unsigned>(number), token.count, out);
        }
        else if (token.letter == L'M')
        {
            AppendName(kMonths[(time.wMonth + 11) % 12], token.count, out);
        }
        else if (token.letter == L'E')
        {
            AppendName(kDays[time.wDayOfWeek % 7], token.count, out);
        }
        else if (token.letter == L'a')
        {
            out += time.wHour < 12 ? L"AM" : L"PM";
        }
        else
        {
            out += token.text;
        }
    }
}

CalendarUnit DateFormat::SmallestUnit() const
{
    CalendarUnit unit = CalendarUnit::None;
    auto consider = [&unit](CalendarUnit candidate)
    {
        if (candidate < unit)
        {
            unit = candidate;
        }
    };
    for (const Token& token : m_tokens)
    {
        switch (token.letter)
        {
        case L'm':
            consider(CalendarUnit::Minute);
            break;
        case L'H':
        case L'k':
        case L'K':
        case L'h':
            consider(CalendarUnit::Hour);
            break;
        case L'a':
            consider(CalendarUnit::HalfDay);
            break;
        case L'd':
        case L'D':
        case L'E':
            consider(CalendarUnit::Day);
            break;
        case L'w':
            consider(CalendarUnit::Week);
            break;
        case L'M':
            consider(CalendarUnit::Month);
            break;
        case L'y':
            consider(CalendarUnit::Year);
            break;
        default:
            break;
        }
    }
    return unit;
}

SYSTEMTIME StartOfPeriod(const SYSTEMTIME& time, CalendarUnit unit)
{
    SYSTEMTIME start = time;
    start.wMilliseconds = 0;
    start.wSecond = 0;
    if (unit == CalendarUnit::Minute)
    {
        return FromTicks(ToTicks(start));
    }
    start.wMinute = 0;
    if (unit == CalendarUnit::Hour)
    {
        return FromTicks(ToTicks(start));
    }
    if (unit == CalendarUnit::HalfDay)
    {
        start.wHour = start.wHour < 12 ? 0 : 12;
        return FromTicks(ToTicks(start));
    }
    start.wHour = 0;
    ULONGLONG ticks = ToTicks(start);
    if (unit == CalendarUnit::Week)
    {
        const unsigned sinceMonday = (time.wDayOfWeek + 6u) % 7u;
        return FromTicks(ticks - sinceMonday * kTicksPerDay);
    }
    if (unit == CalendarUnit::Month || unit == CalendarUnit::Year)
    {
        start.wDay = 1;
        if (unit == CalendarUnit::Year)
        {
            start.wMonth = 1;
        }
        ticks = ToTicks(start);
    }
    return FromTicks(ticks);
}

SYSTEMTIME StartOfNextPeriod(const SYSTEMTIME& time, CalendarUnit unit)
{
    SYSTEMTIME start = StartOfPeriod(time, unit);
    switch (unit)
    {
    case CalendarUnit::Minute:
        return FromTicks(ToTicks(start) + 60 * kTicksPerSecond);
    case CalendarUnit::Hour:
        return FromTicks(ToTicks(start) + 3600 * kTicksPerSecond);
    case CalendarUnit::HalfDay:
        return FromTicks(ToTicks(start) + kTicksPerDay / 2);
    case CalendarUnit::Week:
        return FromTicks(ToTicks(start) + 7 * kTicksPerDay);
    case CalendarUnit::Month:
        start.wMonth = static_cast<WORD>(start.wMonth == 12 ? 1 : start.wMonth + 1);
        start.wYear = static_cast<WORD>(start.wMonth == 1 ? start.wYear + 1 : start.wYear);
        return FromTicks(ToTicks(start));
    case CalendarUnit::Year:
        start.wYear = static_cast<WORD>(start.wYear + 1);
        return FromTicks(ToTicks(start));
    default:
        return FromTicks(ToTicks(start) + kTicksPerDay);
    }
}

int CompareTimes(const SYSTEMTIME& a, const SYSTEMTIME& b)
{
    const ULONGLONG left = ToTicks(a);
    const ULONGLONG right = ToTicks(b);
    return left < right ? -1 : (left > right ? 1 : 0);
}
} // namespace vwnlog
