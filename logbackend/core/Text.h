#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vwnlog
{
// Narrow text from callers is in the system's ANSI code page.
std::wstring AnsiToWide(const char* text);
void AppendUtf8(std::wstring_view text, std::string& out);
std::string ToUtf8(std::wstring_view text);

// Option names, class names and keywords are ASCII and compared without case.
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix);
std::wstring_view TrimBlanks(std::wstring_view text);
std::vector<std::wstring> SplitTrimmed(std::wstring_view text, wchar_t separator);

// A configuration file's bytes as text: a byte-order mark decides, else valid
// UTF-8 is read as UTF-8 and anything else as the ANSI code page.
std::wstring DecodeConfigurationBytes(const std::string& bytes);
} // namespace vwnlog
