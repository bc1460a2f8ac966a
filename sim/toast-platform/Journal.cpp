#include "Journal.h"

#include "base/TextCodec.h"

#include <cstdarg>
#include <cstdlib>
#include <cwchar>
#include <mutex>
#include <vector>

namespace Platform
{
namespace
{

constexpr wchar_t kJournalVariable[] = L"VWN_TOAST_JOURNAL";
constexpr wchar_t kFailFileVariable[] = L"VWN_TOAST_FAIL_FILE";
constexpr wchar_t kShowDelayVariable[] = L"VWN_TOAST_SHOW_DELAY_MS";
constexpr wchar_t kDefaultJournalName[] = L"toast-journal.txt";
// Longer than any HRESULT text a test writes; the rest of the file is ignored.
constexpr DWORD kFailFileReadLimit = 64;

std::wstring Environment(const wchar_t* name)
{
    std::vector<wchar_t> buffer(256);
    for (;;)
    {
        const DWORD length = GetEnvironmentVariableW(name, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
        {
            return L"";
        }
        if (length < buffer.size())
        {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(length + 1);
    }
}

std::wstring ThisModuleFolder()
{
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModuleFolder), &self);
    std::vector<wchar_t> buffer(MAX_PATH);
    DWORD length = GetModuleFileNameW(self, buffer.data(), static_cast<DWORD>(buffer.size()));
    while (length + 1 > buffer.size())
    {
        buffer.resize(buffer.size() * 2);
        length = GetModuleFileNameW(self, buffer.data(), static_cast<DWORD>(buffer.size()));
    }
    std::wstring path(buffer.data(), length);
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

std::wstring JournalPath()
{
    const std::wstring chosen = Environment(kJournalVariable);
    return chosen.empty() ? ThisModuleFolder() + kDefaultJournalName : chosen;
}

std::wstring LocalTimestamp()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    wchar_t text[32];
    std::swprintf(text, sizeof(text) / sizeof(text[0]), L"%04u-%02u-%02uT%02u:%02u:%02u.%03u", now.wYear,
                  now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    return text;
}

void AppendEscaped(std::wstring& line, const std::wstring& field)
{
    for (const wchar_t character : field)
    {
        switch (character)
        {
        case L'\t':
            line += L"&#9;";
            break;
        case L'\n':
            line += L"&#10;";
            break;
        case L'\r':
            line += L"&#13;";
            break;
        default:
            line += character;
        }
    }
}

} // namespace

void DebugLine(const wchar_t* format, ...)
{
    wchar_t line[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vswprintf(line, sizeof(line) / sizeof(line[0]), format, arguments);
    va_end(arguments);
    OutputDebugStringW(line);
}

void AppendJournalRecord(std::initializer_list<std::wstring> fields)
{
    std::wstring line = LocalTimestamp();
    for (const std::wstring& field : fields)
    {
        line += L'\t';
        AppendEscaped(line, field);
    }
    line += L'\n';
    const std::string bytes = ToUtf8(line);

    // Append-only access makes every write land at the end; one write per
    // record keeps records of several processes whole. Under Wine, appends from
    // threads of one process were seen to cut into each other's records.
    static std::mutex writers;
    const std::lock_guard<std::mutex> guard(writers);
    const std::wstring path = JournalPath();
    const HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        const DWORD error = GetLastError();
        DebugLine(
            L"[VoltwrenToastPlatform][AppendJournalRecord] @@@@@ Opening the journal \"%ls\" failed (%lu) !!! (output via OutputDebugString())\n",
            path.c_str(), error);
        return;
    }
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size())
    {
        const DWORD error = GetLastError();
        DebugLine(
            L"[VoltwrenToastPlatform][AppendJournalRecord] @@@@@ Writing the journal \"%ls\" failed (%lu) !!! (output via OutputDebugString())\n",
            path.c_str(), error);
    }
    CloseHandle(file);
}

bool ShowRefusal(HRESULT& code)
{
    const std::wstring switchFile = Environment(kFailFileVariable);
    if (switchFile.empty())
    {
        return false;
    }
    const HANDLE file =
        CreateFileW(switchFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        return false;
    }
    char text[kFailFileReadLimit + 1] = {};
    DWORD read = 0;
    ReadFile(file, text, kFailFileReadLimit, &read, nullptr);
    CloseHandle(file);

    // An unreadable code still refuses: the switch is on, whatever it says.
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 16);
    code = static_cast<HRESULT>(value);
    if (end == text || !FAILED(code))
    {
        DebugLine(
            L"[VoltwrenToastPlatform][ShowRefusal] @@@@@ \"%ls\" holds no failure code; refusing with E_FAIL !!! (output via OutputDebugString())\n",
            switchFile.c_str());
        code = E_FAIL;
    }
    return true;
}

DWORD ShowDelayMs()
{
    return static_cast<DWORD>(std::wcstoul(Environment(kShowDelayVariable).c_str(), nullptr, 10));
}

} // namespace Platform
