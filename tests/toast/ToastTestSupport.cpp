#include "ToastTestSupport.h"

#include "support/ProgramUnderTest.h"
#include "toast/NotifierIdentity.h"

#include <gtest/gtest.h>

#include <regex>

namespace ToastTest
{
std::vector<JournalCall> ScopedJournal::Calls() const
{
    const std::string bytes = ReadFileBytes(path);
    std::wstring text(bytes.size(), L'\0');
    const int length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                            text.data(), static_cast<int>(text.size()));
    EXPECT_TRUE(bytes.empty() || length > 0) << "the journal is not UTF-8";
    text.resize(static_cast<size_t>(length > 0 ? length : 0));

    std::vector<std::wstring> lines = Split(text, L'\n');
    EXPECT_TRUE(lines.back().empty()) << "the last journal record has no line feed";
    lines.pop_back();
    std::vector<JournalCall> calls;
    for (const std::wstring& line : lines)
    {
        JournalCall fields = Split(line, L'\t');
        EXPECT_TRUE(
            std::regex_match(fields[0], std::wregex(L"\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}")))
            << fields[0];
        calls.emplace_back(fields.begin() + 1, fields.end());
    }
    return calls;
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
    return std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH * 4));
}

void PrintTo(const RegistryValue& value, std::ostream* out)
{
    *out << "type " << value.type << ", " << value.bytes.size() << " bytes "
         << ::testing::PrintToString(std::wstring(reinterpret_cast<const wchar_t*>(value.bytes.data()),
                                                  value.bytes.size() / sizeof(wchar_t)));
}

RegistryValue Sz(const std::wstring& text)
{
    const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    return {REG_SZ, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t))};
}

std::optional<RegistryValues> ReadUserKey(const std::wstring& subKey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return std::nullopt;
    }
    RegistryValues values;
    wchar_t name[256];
    BYTE data[4096];
    DWORD nameLength = 256, type = 0, size = sizeof(data);
    for (DWORD index = 0;
         RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &size) == ERROR_SUCCESS;
         ++index, nameLength = 256, size = sizeof(data))
    {
        values[std::wstring(name, nameLength)] = {type, std::vector<BYTE>(data, data + size)};
    }
    RegCloseKey(key);
    return values;
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

void ForgetIdentity(const std::wstring& aumid)
{
    for (const std::wstring& key : {AumidKey(aumid), ClsidKey(NotifierIdentity::ClsidTextFromAumid(aumid))})
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
    }
}

int RunChildTests(const std::wstring& filter, const std::wstring& executable)
{
    SCOPED_TRACE(ToUtf8(filter));
    const std::wstring program = executable.empty() ? ThisExecutablePath() : executable;
    TempFolder folder(L"child");
    const std::wstring report = folder.Path() + L"report.xml";
    const int exitCode =
        RunChild(L"\"" + program + L"\" --gtest_color=no --gtest_also_run_disabled_tests --gtest_filter=" +
                     filter + L" --gtest_output=xml:" + report,
                 60000);
    // A filter that matches nothing passes without testing anything.
    std::smatch count;
    const std::string xml = ReadFileBytes(report);
    if (!std::regex_search(xml, count, std::regex("<testsuites tests=\"([0-9]+)\"")) || count[1] == "0")
    {
        ADD_FAILURE() << "the filter ran no test";
        return -1;
    }
    return exitCode;
}

} // namespace ToastTest
