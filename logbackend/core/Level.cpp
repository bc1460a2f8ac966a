#include "logbackend/core/Level.h"

#include "logbackend/core/Text.h"

namespace vwnlog
{
namespace
{
struct LevelEntry
{
    const wchar_t* name;
    Level level;
};

constexpr LevelEntry kLevels[] = {
    {L"ALL", Level::All},   {L"TRACE", Level::Trace}, {L"DEBUG", Level::Debug}, {L"INFO", Level::Info},
    {L"WARN", Level::Warn}, {L"ERROR", Level::Error}, {L"FATAL", Level::Fatal}, {L"OFF", Level::Off},
};
} // namespace

bool ParseLevel(std::wstring_view text, Level& level)
{
    const std::wstring_view name = TrimBlanks(text);
    for (const LevelEntry& entry : kLevels)
    {
        if (EqualsNoCase(name, entry.name))
        {
            level = entry.level;
            return true;
        }
    }
    return false;
}

const wchar_t* LevelName(Level level)
{
    for (const LevelEntry& entry : kLevels)
    {
        if (entry.level == level)
        {
            return entry.name;
        }
    }
    return L"";
}
} // namespace vwnlog
