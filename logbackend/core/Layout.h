#pragma once

#include "logbackend/core/DateFormat.h"
#include "logbackend/core/Level.h"

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace vwnlog
{
struct LogEvent
{
    std::wstring_view logger;
    Level level;
    std::wstring_view message;
    SYSTEMTIME time; // local time of the call
    DWORD threadId;
    unsigned long long elapsedMs; // since the library started
};

class Layout
{
public:
    virtual ~Layout() = default;
    // Appends the event's text, line break included, to out.
    virtual void Format(const LogEvent& event, std::wstring& out) const = 0;
};

// log4j's PatternLayout: %d %p %c %t %m %n %r %%, format modifiers
// (-, minimum width, .maximum), %d{...} and %c{n}. Location and context
// converters (%F %L %M %l %C %x %X) give nothing. %n is CR LF.
class PatternLayout final : public Layout
{
public:
    static constexpr const wchar_t* kDefaultPattern = L"%m%n";

    // Problems in the pattern are reported naming context (the appender).
    PatternLayout(std::wstring_view pattern, std::wstring_view context);
    void Format(const LogEvent& event, std::wstring& out) const override;

private:
    enum class Kind
    {
        Literal,
        Date,
        Level,
        Logger,
        Thread,
        Message,
        NewLine,
        Elapsed,
        Nothing,
    };
    struct Part
    {
        Kind kind = Kind::Nothing;
        std::wstring literal;
        DateFormat date;
        int precision = 0; // %c{n}
        bool leftAlign = false;
        size_t minWidth = 0;
        size_t maxWidth = static_cast<size_t>(-1);
    };
    class Parser;

    void AppendPart(const Part& part, const LogEvent& event, std::wstring& out) const;

    std::vector<Part> m_parts;
};

// log4j's SimpleLayout: "LEVEL - message" and a line break.
class SimpleLayout final : public Layout
{
public:
    void Format(const LogEvent& event, std::wstring& out) const override;
};
} // namespace vwnlog
