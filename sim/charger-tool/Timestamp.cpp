#include "sim/charger-tool/Timestamp.h"

#include <cstdio>

namespace chargersim
{
namespace
{
constexpr std::int64_t kSecondsPerDay = 86400;
// The FILETIME epoch, 1601-01-01, lies this many days before 1970-01-01.
constexpr std::int64_t kDaysFrom1601To1970 = 134774;

// Proleptic Gregorian calendar arithmetic (days relative to 1970-01-01),
// after the well-known era-based method: exact for every year we accept.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day)
{
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    day = static_cast<unsigned>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    month = static_cast<unsigned>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

bool IsLeapYear(std::int64_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(std::int64_t year, unsigned month)
{
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Reads exactly `count` decimal digits at `pos`.
bool ReadDigits(std::string_view text, size_t pos, size_t count, unsigned& value)
{
    if (pos + count > text.size())
        return false;
    value = 0;
    for (size_t i = pos; i < pos + count; ++i)
    {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + static_cast<unsigned>(text[i] - '0');
    }
    return true;
}
} // namespace

std::string FormatTimestamp(Ticks instant)
{
    if (instant < 0)
        instant = 0;
    const std::int64_t totalSeconds = instant / kTicksPerSecond;
    const unsigned milliseconds = static_cast<unsigned>((instant % kTicksPerSecond) / kTicksPerMillisecond);
    const std::int64_t days = totalSeconds / kSecondsPerDay - kDaysFrom1601To1970;
    const unsigned secondOfDay = static_cast<unsigned>(totalSeconds % kSecondsPerDay);
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    CivilFromDays(days, year, month, day);
    char text[32];
    std::snprintf(text, sizeof(text), "%04lld-%02u-%02uT%02u:%02u:%02u.%03uZ", static_cast<long long>(year),
                  month, day, secondOfDay / 3600, secondOfDay / 60 % 60, secondOfDay % 60, milliseconds);
    return text;
}

bool ParseTimestamp(std::string_view text, Ticks& instant)
{
    // YYYY-MM-DDTHH:MM:SS
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!ReadDigits(text, 0, 4, year) || text.size() < 20 || text[4] != '-' ||
        !ReadDigits(text, 5, 2, month) || text[7] != '-' || !ReadDigits(text, 8, 2, day) || text[10] != 'T' ||
        !ReadDigits(text, 11, 2, hour) || text[13] != ':' || !ReadDigits(text, 14, 2, minute) ||
        text[16] != ':' || !ReadDigits(text, 17, 2, second))
        return false;
    size_t pos = 19;
    Ticks fraction = 0;
    if (text[pos] == '.')
    {
        ++pos;
        Ticks scale = kTicksPerSecond;
        size_t digits = 0;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9')
        {
            if (++digits > 7)
                return false;
            scale /= 10;
            fraction += (text[pos] - '0') * scale;
            ++pos;
        }
        if (digits == 0)
            return false;
    }
    if (pos + 1 != text.size() || text[pos] != 'Z')
        return false;
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return false;
    const std::int64_t days = DaysFromCivil(year, month, day) + kDaysFrom1601To1970;
    instant = (days * kSecondsPerDay + hour * 3600 + minute * 60 + second) * kTicksPerSecond + fraction;
    return true;
}
} // namespace chargersim
