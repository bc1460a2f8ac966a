#include "ToastTestSupport.h"

#include <gtest/gtest.h>

namespace ToastTest
{
namespace
{

constexpr DWORD kChildTimeoutMs = 60000;

std::wstring Utf8ToWide(const std::string& bytes)
{
    if (bytes.empty())
    {
        return std::wstring();
    }
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                         static_cast<int>(bytes.size()), nullptr, 0);
    EXPECT_GT(size, 0) << "journal line is not UTF-8";
    std::wstring text(static_cast<size_t>(size > 0 ? size : 0), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                        text.data(), size);
    return text;
}

std::string ReadWholeFile(const std::wstring& path)
{
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        return std::string();
    }
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
    {
        bytes.append(buffer, read);
    }
    CloseHandle(file);
    return bytes;
}

std::vector<std::wstring> SplitAtTabs(const std::wstring& line)
{
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;)
    {
        const size_t tab = line.find(L'\t', start);
        fields.push_back(line.substr(start, tab == std::wstring::npos ? std::wstring::npos : tab - start));
        if (tab == std::wstring::npos)
        {
            return fields;
        }
        start = tab + 1;
    }
}

} // namespace

ScopedJournal::ScopedJournal(const std::wstring& hint) : m_path(TempFilePath(hint))
{
    DeleteFileW(m_path.c_str());
    SetEnvironmentVariableW(L"VWN_TOAST_JOURNAL", m_path.c_str());
}

ScopedJournal::~ScopedJournal()
{
    SetEnvironmentVariableW(L"VWN_TOAST_JOURNAL", nullptr);
    DeleteFileW(m_path.c_str());
}

bool ScopedJournal::Exists() const
{
    return GetFileAttributesW(m_path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<JournalRecord> ScopedJournal::Records() const
{
    const std::string bytes = ReadWholeFile(m_path);
    std::vector<JournalRecord> records;
    size_t start = 0;
    while (start < bytes.size())
    {
        const size_t end = bytes.find('\n', start);
        EXPECT_NE(end, std::string::npos) << "the last journal record has no line feed";
        const std::string line =
            bytes.substr(start, end == std::string::npos ? std::string::npos : end - start);
        JournalRecord record{SplitAtTabs(Utf8ToWide(line))};
        EXPECT_GE(record.fields.size(), 3u) << "journal record with too few fields: " << line;
        if (record.fields.size() >= 3)
        {
            records.push_back(std::move(record));
        }
        if (end == std::string::npos)
        {
            break;
        }
        start = end + 1;
    }
    return records;
}

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, const std::wstring& value) : m_name(name)
{
    SetEnvironmentVariableW(name, value.c_str());
}

ScopedEnvironment::~ScopedEnvironment()
{
    SetEnvironmentVariableW(m_name.c_str(), nullptr);
}

std::wstring TempFilePath(const std::wstring& hint, const std::wstring& extension)
{
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    static LONG counter = 0;
    return std::wstring(folder, length) + L"vwn-" + hint + L"-" + std::to_wstring(GetCurrentProcessId()) +
           L"-" + std::to_wstring(InterlockedIncrement(&counter)) + extension;
}

std::wstring ThisExecutablePath()
{
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    return std::wstring(path, length);
}

std::wstring ThisExecutableFolder()
{
    const std::wstring path = ThisExecutablePath();
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

std::wstring RegistryValue::Text() const
{
    std::wstring text(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
    if (!text.empty() && text.back() == L'\0')
    {
        text.pop_back();
    }
    return text;
}

RegistryValue ReadUserValue(const std::wstring& subKey, const wchar_t* valueName)
{
    RegistryValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return value;
    }
    DWORD size = 0;
    if (RegQueryValueExW(key, valueName, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS)
    {
        value.bytes.resize(size);
        value.present = RegQueryValueExW(key, valueName, nullptr, &value.type, value.bytes.data(), &size) ==
                        ERROR_SUCCESS;
        value.size = size;
    }
    RegCloseKey(key);
    return value;
}

bool UserKeyExists(const std::wstring& subKey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return false;
    }
    RegCloseKey(key);
    return true;
}

DWORD UserKeyValueCount(const std::wstring& subKey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return 0;
    }
    DWORD values = 0;
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                     nullptr, nullptr);
    RegCloseKey(key);
    return values;
}

void DeleteUserTree(const std::wstring& subKey)
{
    RegDeleteTreeW(HKEY_CURRENT_USER, subKey.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, subKey.c_str());
}

std::wstring AumidKey(const std::wstring& aumid)
{
    return L"SOFTWARE\\Classes\\AppUserModelId\\" + aumid;
}

std::wstring ClsidKey(const std::wstring& clsidText)
{
    return L"SOFTWARE\\Classes\\CLSID\\{" + clsidText + L"}";
}

std::wstring LocalServerKey(const std::wstring& clsidText)
{
    return ClsidKey(clsidText) + L"\\LocalServer32";
}

int RunChildTests(const std::wstring& filter, const std::wstring& executable)
{
    const std::wstring program = executable.empty() ? ThisExecutablePath() : executable;
    std::wstring commandLine =
        L"\"" + program + L"\" --gtest_color=no --gtest_also_run_disabled_tests --gtest_filter=" + filter;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
    {
        ADD_FAILURE() << "CreateProcessW failed with " << GetLastError();
        return -1;
    }
    DWORD exitCode = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, kChildTimeoutMs) == WAIT_OBJECT_0)
    {
        GetExitCodeProcess(process.hProcess, &exitCode);
    }
    else
    {
        ADD_FAILURE() << "child test run did not end; ended it";
        TerminateProcess(process.hProcess, static_cast<UINT>(-1));
        WaitForSingleObject(process.hProcess, kChildTimeoutMs);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

} // namespace ToastTest
