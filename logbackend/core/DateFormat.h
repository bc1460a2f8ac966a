#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace vwnlog
{
// The calendar units a date pattern can show, smallest first.
enum class CalendarUnit
{
    Minute,
    Hour,
    HalfDay,
    Day,
    Week,
    Month,
    Year,
    None,
};

// A java.text.SimpleDateFormat pattern: y M d D E a H k K h m s S w, quoted
// text ('T', '' for a quote) and any other character as itself. Names are English.
class DateFormat
{
public:
    DateFormat() = default;
    // Unknown pattern letters are reported once, naming context, and kept as text.
    DateFormat(std::wstring_view pattern, std::wstring_view context);

    void Format(const SYSTEMTIME& time, std::wstring& out) const;
    CalendarUnit SmallestUnit() const;

private:
    struct Token
    {
        wchar_t letter; // 0 for literal text
        int count;
        std::wstring text;
    };
    std::vector<Token> m_tokens;
};

// Naive local calendar arithmetic for time-based rolling: the start of the
// period that contains time, and the start of the period after it (weeks
// start on Monday).
SYSTEMTIME StartOfPeriod(const SYSTEMTIME& time, CalendarUnit unit);
SYSTEMTIME StartOfNextPeriod(const SYSTEMTIME& time, CalendarUnit unit);
// Orders two naive local times: negative, zero or positive.
int CompareTimes(const SYSTEMTIME& a, const SYSTEMTIME& b);
} // namespace vwnlog
