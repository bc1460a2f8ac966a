#pragma once

#include <climits>
#include <string_view>

namespace vwnlog
{
// The log4j levels with their numeric values, so that comparisons read naturally.
enum class Level : int
{
    All = INT_MIN,
    Trace = 5000,
    Debug = 10000,
    Info = 20000,
    Warn = 30000,
    Error = 40000,
    Fatal = 50000,
    Off = INT_MAX,
};

// Accepts the level names in any case, with surrounding blanks.
bool ParseLevel(std::wstring_view text, Level& level);
const wchar_t* LevelName(Level level);
} // namespace vwnlog
