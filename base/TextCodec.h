#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// Conversions between the program's wide text and the byte encodings of files
// and of narrow runtime messages. Header-only: the log library's test doubles,
// the simulators and the smoke helper use them without linking anything.

inline std::string ToUtf8(std::wstring_view text)
{
    if (text.empty())
    {
        return std::string();
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
    {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                            nullptr);
    }
    return bytes;
}

// Invalid sequences become U+FFFD.
inline std::wstring FromUtf8(std::string_view bytes)
{
    if (bytes.empty())
    {
        return std::wstring();
    }
    const int size =
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    if (size > 0)
    {
        MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], size);
    }
    return text;
}

// A zero-terminated text in the system's ANSI code page, as runtime messages come.
inline std::wstring FromAnsi(const char* text)
{
    const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (size <= 1)
    {
        return std::wstring();
    }
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], size);
    wide.resize(wide.size() - 1);
    return wide;
}
