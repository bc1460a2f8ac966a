#include "logbackend/core/Layout.h"

#include "logbackend/core/Diagnostics.h"
#include "logbackend/core/Text.h"

#include <cwchar>

namespace vwnlog
{
namespace
{
constexpr size_t kNoLimit = static_cast<size_t>(-1);
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

PatternLayout::PatternLayout(std::wstring_view pattern, std::wstring_view context)
{
    std::wstring literal;
    auto flushLiteral = [&]()
    {
        if (!literal.empty())
        {
            m_parts.push_back({Kind::Literal, literal, DateFormat(), 0, false, 0, kNoLimit});
            literal.clear();
        }
    };
    auto reportKept = [&](std::wstring_view what, std::wstring_view kept)
    {
        ReportError(L"conversion pattern \"" + std::wstring(pattern) + L"\" of " + std::wstring(context) +
                    L" has " + std::wstring(what) + L"; \"" + std::wstring(kept) + L"\" kept as text");
    };

    size_t i = 0;
    while (i < pattern.size())
    {
        const wchar_t c = pattern[i++];
        if (c != L'%')
        {
            literal += c;
            continue;
        }
        if (i >= pattern.size())
        {
            literal += L'%';
            break;
        }
        if (pattern[i] == L'%')
        {
            literal += L'%';
            ++i;
            continue;
        }
        const size_t start = i - 1;
        Part part{Kind::Nothing, std::wstring(), DateFormat(), 0, false, 0, kNoLimit};
        if (pattern[i] == L'-')
        {
            part.leftAlign = true;
            ++i;
        }
        part.minWidth = ReadNumber(pattern, i);
        if (i < pattern.size() && pattern[i] == L'.')
        {
            ++i;
            if (i >= pattern.size() || !IsDigit(pattern[i]))
            {
                literal.append(pattern.substr(start, i - start));
                reportKept(L"a '.' without a maximum width", pattern.substr(start, i - start));
                continue;
            }
            part.maxWidth = ReadNumber(pattern, i);
        }
        if (i >= pattern.size())
        {
            literal.append(pattern.substr(start));
            reportKept(L"a '%' without a conversion character", pattern.substr(start));
            break;
        }
        const wchar_t conversion = pattern[i++];
        std::wstring option;
        bool hasOption = false;
        if ((conversion == L'd' || conversion == L'c' || conversion == L'C' || conversion == L'X') &&
            i < pattern.size() && pattern[i] == L'{')
        {
            const size_t close = pattern.find(L'}', i);
            if (close != std::wstring_view::npos)
            {
                option.assign(pattern.substr(i + 1, close - i - 1));
                hasOption = true;
                i = close + 1;
            }
        }
        switch (conversion)
        {
        case L'd':
            part.kind = Kind::Date;
            part.date = DateFormat(DatePatternFor(option), context);
            break;
        case L'p':
            part.kind = Kind::Level;
            break;
        case L'c':
            part.kind = Kind::Logger;
            if (hasOption)
            {
                size_t k = 0;
                const size_t value = ReadNumber(option, k);
                if (k == 0 || k != option.size() || value == 0)
                {
                    ReportError(L"conversion pattern \"" + std::wstring(pattern) + L"\" of " +
                                std::wstring(context) + L" has %c{" + option +
                                L"}, which is not a positive number; the full name is used");
                }
                else
                {
                    part.precision = static_cast<int>(value);
                }
            }
            break;
        case L't':
            part.kind = Kind::Thread;
            break;
        case L'm':
            part.kind = Kind::Message;
            break;
        case L'n':
            part.kind = Kind::NewLine;
            break;
        case L'r':
            part.kind = Kind::Elapsed;
            break;
        case L'F':
        case L'L':
        case L'M':
        case L'l':
        case L'C':
        case L'x':
        case L'X':
            part.kind = Kind::Nothing;
            break;
        default:
            literal.append(pattern.substr(start, i - start));
            reportKept(L"the unknown conversion character '" + std::wstring(1, conversion) + L"'",
                       pattern.substr(start, i - start));
            continue;
        }
        flushLiteral();
        m_parts.push_back(std::move(part));
    }
    flushLiteral();
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
