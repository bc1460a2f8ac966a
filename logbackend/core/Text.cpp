#include "logbackend/core/Text.h"

#include <windows.h>

namespace vwnlog
{
namespace
{
wchar_t FoldAscii(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\f' || c == L'\r' || c == L'\n';
}

std::wstring Widen(UINT codePage, DWORD flags, const char* text, size_t length)
{
    if (length == 0)
    {
        return std::wstring();
    }
    const int size = MultiByteToWideChar(codePage, flags, text, static_cast<int>(length), nullptr, 0);
    if (size <= 0)
    {
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(codePage, flags, text, static_cast<int>(length), &wide[0], size);
    return wide;
}
} // namespace

std::wstring AnsiToWide(const char* text)
{
    return Widen(CP_ACP, 0, text, strlen(text));
}

void AppendUtf8(std::wstring_view text, std::string& out)
{
    if (text.empty())
    {
        return;
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    if (size <= 0)
    {
        return;
    }
    const size_t start = out.size();
    out.resize(start + static_cast<size_t>(size));
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[start], size, nullptr,
                        nullptr);
}

std::string ToUtf8(std::wstring_view text)
{
    std::string out;
    AppendUtf8(text, out);
    return out;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b)
{
    if (a.size() != b.size())
    {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i)
    {
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
        {
            return false;
        }
    }
    return true;
}

bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix)
{
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::wstring_view TrimBlanks(std::wstring_view text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin]))
    {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1]))
    {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::vector<std::wstring> SplitTrimmed(std::wstring_view text, wchar_t separator)
{
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;)
    {
        const size_t end = text.find(separator, start);
        parts.emplace_back(
            TrimBlanks(text.substr(start, end == std::wstring_view::npos ? end : end - start)));
        if (end == std::wstring_view::npos)
        {
            return parts;
        }
        start = end + 1;
    }
}

std::wstring DecodeConfigurationBytes(const std::string& bytes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE)
    {
        std::wstring text((bytes.size() - 2) / 2, L'\0');
        for (size_t i = 0; i < text.size(); ++i)
        {
            text[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 + 2 * i]) |
                                           (static_cast<unsigned char>(bytes[3 + 2 * i]) << 8));
        }
        return text;
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
    {
        return Widen(CP_UTF8, 0, bytes.data() + 3, bytes.size() - 3);
    }
    if (bytes.empty())
    {
        return std::wstring();
    }
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                            nullptr, 0) > 0)
    {
        return Widen(CP_UTF8, 0, bytes.data(), bytes.size());
    }
    return Widen(CP_ACP, 0, bytes.data(), bytes.size());
}
} // namespace vwnlog
