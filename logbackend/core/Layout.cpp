#include "logbackend/core/Layout.h"

#include "logbackend/core/Diagnostics.h"
#include "logbackend/core/Text.h"

#include <cwchar>
#include <optional>

namespace vwnlog
{
namespace
{
constexpr const wchar_t* kIso8601 = L"yyyy-MM-dd HH:mm:ss,SSS";
constexpr const wchar_t* kAbsolute = L"HH:mm:ss,SSS";
constexpr const wchar_t* kDate = L"dd MMM yyyy HH:mm:ss,SSS";

bool IsDigit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

size_t ReadNumber(std::wstring_view text, size_t& i)
{
    size_t value = 0;
    while (i < text.size() && IsDigit(text[i]))
    {
        value = value * 10 + static_cast<size_t>(text[i] - L'0');
        ++i;
    }
    return value;
}

std::wstring DatePatternFor(std::wstring_view option)
{
    if (option.empty() || EqualsNoCase(option, L"ISO8601"))
    {
        return kIso8601;
    }
    if (EqualsNoCase(option, L"ABSOLUTE"))
    {
        return kAbsolute;
    }
    if (EqualsNoCase(option, L"DATE"))
    {
        return kDate;
    }
    return std::wstring(option);
}

// %c{n}: the last n dot-separated parts of the name.
std::wstring_view LastComponents(std::wstring_view name, int count)
{
    if (count <= 0)
    {
        return name;
    }
    size_t end = name.size();
    for (int i = 0; i < count; ++i)
    {
        const size_t dot = name.rfind(L'.', end == 0 ? 0 : end - 1);
        if (dot == std::wstring_view::npos || end == 0)
        {
            return name;
        }
        end = dot;
    }
    return name.substr(end + 1);
}
} // namespace

// Reads a conversion pattern into parts. What it cannot read is reported and kept as text.
class PatternLayout::Parser
{
public:
    Parser(std::wstring_view pattern, std::wstring_view context, std::vector<Part>& parts)
        : m_pattern(pattern), m_context(context), m_parts(parts)
    {
    }

    void Run()
    {
        while (m_i < m_pattern.size())
        {
            const wchar_t c = m_pattern[m_i++];
            if (c != L'%' || m_i == m_pattern.size())
            {
                m_literal += c;
            }
            else if (m_pattern[m_i] == L'%')
            {
                m_literal += L'%';
                ++m_i;
            }
            else
            {
                Conversion(m_i - 1);
            }
        }
        FlushLiteral();
    }

private:
    // The conversion whose '%' is at start.
    void Conversion(size_t start)
    {
        Part part;
        if (!ReadModifiers(part, start))
        {
            return;
        }
        if (m_i == m_pattern.size())
        {
            KeepAsText(L"a '%' without a conversion character", start);
            return;
        }
        const wchar_t conversion = m_pattern[m_i++];
        const std::optional<std::wstring> option = ReadOption(conversion);
        if (!SetKind(part, conversion, option))
        {
            KeepAsText(L"the unknown conversion character '" + std::wstring(1, conversion) + L"'", start);
            return;
        }
        FlushLiteral();
        m_parts.push_back(std::move(part));
    }

    // "-", a minimum width and ".maximum", each optional.
    bool ReadModifiers(Part& part, size_t start)
    {
        if (m_pattern[m_i] == L'-')
        {
            part.leftAlign = true;
            ++m_i;
        }
        part.minWidth = ReadNumber(m_pattern, m_i);
        if (m_i == m_pattern.size() || m_pattern[m_i] != L'.')
        {
            return true;
        }
        ++m_i;
        if (m_i == m_pattern.size() || !IsDigit(m_pattern[m_i]))
        {
            KeepAsText(L"a '.' without a maximum width", start);
            return false;
        }
        part.maxWidth = ReadNumber(m_pattern, m_i);
        return true;
    }

    // The "{...}" after %d, %c, %C or %X.
    std::optional<std::wstring> ReadOption(wchar_t conversion)
    {
        if (wcschr(L"dcCX", conversion) == nullptr || m_i == m_pattern.size() || m_pattern[m_i] != L'{')
        {
            return std::nullopt;
        }
        const size_t close = m_pattern.find(L'}', m_i);
        if (close == std::wstring_view::npos)
        {
            return std::nullopt;
        }
        std::wstring option(m_pattern.substr(m_i + 1, close - m_i - 1));
        m_i = close + 1;
        return option;
    }

    bool SetKind(Part& part, wchar_t conversion, const std::optional<std::wstring>& option)
    {
        static constexpr struct
        {
            wchar_t conversion;
            Kind kind;
        } kKinds[] = {{L'd', Kind::Date},    {L'p', Kind::Level},   {L'c', Kind::Logger},
                      {L't', Kind::Thread},  {L'm', Kind::Message}, {L'n', Kind::NewLine},
                      {L'r', Kind::Elapsed}, {L'F', Kind::Nothing}, {L'L', Kind::Nothing},
                      {L'M', Kind::Nothing}, {L'l', Kind::Nothing}, {L'C', Kind::Nothing},
                      {L'x', Kind::Nothing}, {L'X', Kind::Nothing}};
        for (const auto& entry : kKinds)
        {
            if (entry.conversion == conversion)
            {
                part.kind = entry.kind;
                if (part.kind == Kind::Date)
                {
                    part.date = DateFormat(DatePatternFor(option.value_or(std::wstring())), m_context);
                }
                if (part.kind == Kind::Logger && option)
                {
                    part.precision = LoggerPrecision(*option);
                }
                return true;
            }
        }
        return false;
    }

    int LoggerPrecision(const std::wstring& option) const
    {
        size_t end = 0;
        const size_t value = ReadNumber(option, end);
        if (end == 0 || end != option.size() || value == 0)
        {
            ReportError(L"conversion pattern \"" + std::wstring(m_pattern) + L"\" of " +
                        std::wstring(m_context) + L" has %c{" + option +
                        L"}, which is not a positive number; the full name is used");
            return 0;
        }
        return static_cast<int>(value);
    }

    void KeepAsText(const std::wstring& what, size_t start)
    {
        const std::wstring_view kept = m_pattern.substr(start, m_i - start);
        m_literal.append(kept);
        ReportError(L"conversion pattern \"" + std::wstring(m_pattern) + L"\" of " + std::wstring(m_context) +
                    L" has " + what + L"; \"" + std::wstring(kept) + L"\" kept as text");
    }

    void FlushLiteral()
    {
        if (!m_literal.empty())
        {
            Part part;
            part.kind = Kind::Literal;
            part.literal.swap(m_literal);
            m_parts.push_back(std::move(part));
        }
    }

    const std::wstring_view m_pattern;
    const std::wstring_view m_context;
    std::vector<Part>& m_parts;
    size_t m_i = 0;
    std::wstring m_literal;
};

PatternLayout::PatternLayout(std::wstring_view pattern, std::wstring_view context)
{
    Parser(pattern, context, m_parts).Run();
}

void PatternLayout::AppendPart(const Part& part, const LogEvent& event, std::wstring& out) const
{
    switch (part.kind)
    {
    case Kind::Literal:
        out += part.literal;
        break;
    case Kind::Date:
        part.date.Format(event.time, out);
        break;
    case Kind::Level:
        out += LevelName(event.level);
        break;
    case Kind::Logger:
        out += LastComponents(event.logger, part.precision);
        break;
    case Kind::Thread:
    {
        // As log4cxx shows threads on Windows: "0x" and eight hex digits.
        static constexpr wchar_t kHex[] = L"0123456789abcdef";
        out += L"0x";
        for (int shift = 28; shift >= 0; shift -= 4)
        {
            out += kHex[(event.threadId >> shift) & 0xF];
        }
        break;
    }
    case Kind::Message:
        out += event.message;
        break;
    case Kind::NewLine:
        out += L"\r\n";
        break;
    case Kind::Elapsed:
        out += std::to_wstring(event.elapsedMs);
        break;
    case Kind::Nothing:
        break;
    }
}

void PatternLayout::Format(const LogEvent& event, std::wstring& out) const
{
    for (const Part& part : m_parts)
    {
        const size_t start = out.size();
        AppendPart(part, event, out);
        size_t length = out.size() - start;
        if (length > part.maxWidth)
        {
            // log4j keeps the end of a long item: the last parts of a logger name matter most.
            out.erase(start, length - part.maxWidth);
            length = part.maxWidth;
        }
        if (length < part.minWidth)
        {
            if (part.leftAlign)
            {
                out.append(part.minWidth - length, L' ');
            }
            else
            {
                out.insert(start, part.minWidth - length, L' ');
            }
        }
    }
}

void SimpleLayout::Format(const LogEvent& event, std::wstring& out) const
{
    out += LevelName(event.level);
    out += L" - ";
    out += event.message;
    out += L"\r\n";
}
} // namespace vwnlog
