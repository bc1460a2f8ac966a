#include "logging/LogFileSetting.h"

#include "base/TextCodec.h"
#include "base/UniqueHandle.h"

#include <windows.h>

#include <algorithm>

namespace
{
constexpr DWORD kMaxPropertiesBytes = 1024 * 1024;
constexpr wchar_t kAppenderPrefix[] = L"log4j.appender.";
constexpr wchar_t kBlanks[] = L" \t\r";

std::string ReadSmallFile(const std::wstring& path)
{
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD size = file ? GetFileSize(file.Get(), nullptr) : INVALID_FILE_SIZE;
    if (size == INVALID_FILE_SIZE || size > kMaxPropertiesBytes)
    {
        return std::string();
    }
    std::string bytes(size, '\0');
    DWORD read = 0;
    if (size > 0 && !ReadFile(file.Get(), &bytes[0], size, &read, nullptr))
    {
        return std::string();
    }
    bytes.resize(read);
    return bytes;
}

std::wstring Trimmed(const std::wstring& text)
{
    const size_t first = text.find_first_not_of(kBlanks);
    return first == std::wstring::npos ? std::wstring()
                                       : text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// "log4j.appender.NAME.File", the option's name in any case, as the log library reads it.
bool IsFileKey(const std::wstring& key)
{
    const size_t prefix = wcslen(kAppenderPrefix);
    const size_t dot = key.find(L'.', prefix);
    return key.compare(0, prefix, kAppenderPrefix) == 0 && dot != std::wstring::npos && dot > prefix &&
           lstrcmpiW(key.c_str() + dot + 1, L"File") == 0;
}

bool IsRelative(const std::wstring& path)
{
    return !(path.size() >= 2 && path[1] == L':') &&
           !(!path.empty() && (path[0] == L'\\' || path[0] == L'/'));
}
} // namespace

std::wstring ConfiguredLogFile(const std::wstring& propertiesPath)
{
    const std::wstring text = FromUtf8(ReadSmallFile(propertiesPath));
    for (size_t start = 0; start < text.size();)
    {
        const size_t end = std::min(text.find(L'\n', start), text.size());
        const std::wstring line = Trimmed(text.substr(start, end - start));
        start = end + 1;
        const size_t separator = line.find_first_of(L"=:");
        if (line.empty() || line[0] == L'#' || line[0] == L'!' || separator == std::wstring::npos ||
            !IsFileKey(Trimmed(line.substr(0, separator))))
        {
            continue;
        }
        const std::wstring file = Trimmed(line.substr(separator + 1));
        const size_t slash = propertiesPath.find_last_of(L"\\/");
        if (file.empty() || !IsRelative(file) || slash == std::wstring::npos)
        {
            return file;
        }
        return propertiesPath.substr(0, slash + 1) + file;
    }
    return std::wstring();
}
