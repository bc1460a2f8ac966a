#include "logbackend/core/Properties.h"

#include "logbackend/core/Diagnostics.h"

#include <windows.h>

namespace vwnlog
{
namespace
{
constexpr int kMaxSubstitutionDepth = 16;

bool IsSpace(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\f';
}

int HexValue(wchar_t c)
{
    if (c >= L'0' && c <= L'9')
    {
        return c - L'0';
    }
    if (c >= L'a' && c <= L'f')
    {
        return c - L'a' + 10;
    }
    if (c >= L'A' && c <= L'F')
    {
        return c - L'A' + 10;
    }
    return -1;
}

// Java drops the backslash of every unknown escape, which silently breaks
// Windows paths; here only the escapes below are taken, the rest stays as written.
std::wstring Unescape(std::wstring_view text)
{
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size())
    {
        const wchar_t c = text[i];
        if (c != L'\\' || i + 1 >= text.size())
        {
            out += c;
            ++i;
            continue;
        }
        const wchar_t next = text[i + 1];
        if (next == L'\\' || next == L'=' || next == L':' || next == L'#' || next == L'!' || next == L' ')
        {
            out += next;
            i += 2;
            continue;
        }
        if (next == L'u' && i + 6 <= text.size())
        {
            int value = 0;
            bool hex = true;
            for (size_t k = i + 2; k < i + 6; ++k)
            {
                const int digit = HexValue(text[k]);
                hex = hex && digit >= 0;
                value = value * 16 + (digit < 0 ? 0 : digit);
            }
            if (hex)
            {
                out += static_cast<wchar_t>(value);
                i += 6;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return out;
}

// Reads the next natural line (without its break) starting at pos.
bool NextNaturalLine(std::wstring_view text, size_t& pos, std::wstring_view& line)
{
    if (pos >= text.size())
    {
        return false;
    }
    const size_t start = pos;
    while (pos < text.size() && text[pos] != L'\r' && text[pos] != L'\n')
    {
        ++pos;
    }
    line = text.substr(start, pos - start);
    if (pos < text.size() && text[pos] == L'\r')
    {
        ++pos;
        if (pos < text.size() && text[pos] == L'\n')
        {
            ++pos;
        }
    }
    else if (pos < text.size())
    {
        ++pos;
    }
    return true;
}

std::wstring_view SkipLeadingSpace(std::wstring_view line)
{
    size_t i = 0;
    while (i < line.size() && IsSpace(line[i]))
    {
        ++i;
    }
    return line.substr(i);
}

bool EndsWithContinuation(std::wstring_view line)
{
    size_t backslashes = 0;
    for (size_t i = line.size(); i > 0 && line[i - 1] == L'\\'; --i)
    {
        ++backslashes;
    }
    return backslashes % 2 == 1;
}

void SplitLogicalLine(const std::wstring& line, std::wstring& key, std::wstring& value)
{
    size_t keyEnd = 0;
    size_t valueStart = line.size();
    bool hasSeparator = false;
    bool escaped = false;
    for (; keyEnd < line.size(); ++keyEnd)
    {
        const wchar_t c = line[keyEnd];
        if (!escaped && (c == L'=' || c == L':'))
        {
            valueStart = keyEnd + 1;
            hasSeparator = true;
            break;
        }
        if (!escaped && IsSpace(c))
        {
            valueStart = keyEnd + 1;
            break;
        }
        escaped = c == L'\\' && !escaped;
    }
    while (valueStart < line.size())
    {
        const wchar_t c = line[valueStart];
        if (!IsSpace(c))
        {
            if (hasSeparator || (c != L'=' && c != L':'))
            {
                break;
            }
            hasSeparator = true;
        }
        ++valueStart;
    }
    key = Unescape(std::wstring_view(line).substr(0, keyEnd));
    value = Unescape(std::wstring_view(line).substr(valueStart));
}
} // namespace

Properties Properties::Parse(std::wstring_view text)
{
    Properties properties;
    size_t pos = 0;
    std::wstring_view natural;
    while (NextNaturalLine(text, pos, natural))
    {
        std::wstring_view part = SkipLeadingSpace(natural);
        if (part.empty() || part[0] == L'#' || part[0] == L'!')
        {
            continue;
        }
        std::wstring logical;
        while (EndsWithContinuation(part))
        {
            logical.append(part.substr(0, part.size() - 1));
            if (!NextNaturalLine(text, pos, natural))
            {
                part = std::wstring_view();
                break;
            }
            part = SkipLeadingSpace(natural);
        }
        logical.append(part);
        std::wstring key;
        std::wstring value;
        SplitLogicalLine(logical, key, value);
        properties.Set(key, value);
    }
    return properties;
}

void Properties::Set(const std::wstring& key, const std::wstring& value)
{
    for (auto& entry : m_entries)
    {
        if (entry.first == key)
        {
            entry.second = value;
            return;
        }
    }
    m_entries.emplace_back(key, value);
}

const std::wstring* Properties::Raw(std::wstring_view key) const
{
    for (const auto& entry : m_entries)
    {
        if (entry.first == key)
        {
            return &entry.second;
        }
    }
    return nullptr;
}

std::optional<std::wstring> Properties::Get(std::wstring_view key) const
{
    const std::wstring* raw = Raw(key);
    if (raw == nullptr)
    {
        return std::nullopt;
    }
    return Substitute(*raw);
}

std::wstring Properties::Substitute(std::wstring_view text) const
{
    return Substitute(text, 0);
}

std::wstring Properties::Substitute(std::wstring_view text, int depth) const
{
    std::wstring out;
    size_t i = 0;
    while (i < text.size())
    {
        const size_t open = text.find(L"${", i);
        if (open == std::wstring_view::npos)
        {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, open - i));
        const size_t close = text.find(L'}', open + 2);
        if (close == std::wstring_view::npos)
        {
            ReportError(L"\"" + std::wstring(text) +
                        L"\" has \"${\" without a closing \"}\"; kept as written");
            out.append(text.substr(open));
            break;
        }
        out += Lookup(std::wstring(text.substr(open + 2, close - open - 2)), depth);
        i = close + 1;
    }
    return out;
}

std::wstring Properties::Lookup(const std::wstring& name, int depth) const
{
    if (depth >= kMaxSubstitutionDepth)
    {
        ReportError(L"${" + name + L"} is nested too deeply (a loop?); replaced by nothing");
        return std::wstring();
    }
    if (!name.empty())
    {
        SetLastError(ERROR_SUCCESS);
        const DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
        if (size > 0)
        {
            std::wstring value(size, L'\0');
            const DWORD length = GetEnvironmentVariableW(name.c_str(), &value[0], size);
            value.resize(length < size ? length : 0);
            return Substitute(value, depth + 1);
        }
        if (GetLastError() != ERROR_ENVVAR_NOT_FOUND)
        {
            return std::wstring();
        }
    }
    const std::wstring* raw = Raw(name);
    if (raw != nullptr)
    {
        return Substitute(*raw, depth + 1);
    }
    ReportDebug(L"${" + name + L"} is neither an environment variable nor a key; replaced by nothing");
    return std::wstring();
}
} // namespace vwnlog
