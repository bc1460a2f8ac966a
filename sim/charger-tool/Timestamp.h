#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace chargersim
{
// Wall-clock instants in FILETIME ticks: 100 ns units since 1601-01-01 00:00 UTC.
using Ticks = std::int64_t;

constexpr Ticks kTicksPerMillisecond = 10000;
constexpr Ticks kTicksPerSecond = 1000 * kTicksPerMillisecond;

// "2024-05-01T12:00:00.123Z": UTC, milliseconds, the sub-millisecond rest dropped.
std::string FormatTimestamp(Ticks instant);

// Reads the form above; the fraction may have 0 to 7 digits ("...:00Z", "...:00.1234567Z").
// Years 1601 to 9999 only.
bool ParseTimestamp(std::string_view text, Ticks& instant);
} // namespace chargersim
