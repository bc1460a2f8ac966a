#include "packaging/setup-actions/InstalledVersion.h"

#include "base/UniqueHandle.h"

#include <windows.h>

namespace
{
const wchar_t* const kDependencyKey =
    L"SOFTWARE\\Classes\\Installer\\Dependencies\\{6D2A41C8-3F07-4B95-A1E2-58C09D7B3E14}";
const wchar_t* const kVersionValue = L"Version";

bool IsEmpty(HKEY key)
{
    DWORD subkeys = 0;
    DWORD values = 0;
    return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                            nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subkeys == 0 && values == 0;
}
} // namespace

bool WriteVersionIn32BitView(const std::wstring& version)
{
    UniqueRegistryKey key;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kDependencyKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                        nullptr, key.Put(), nullptr) != ERROR_SUCCESS)
    {
        return false;
    }
    const DWORD bytes = static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.Get(), kVersionValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                          bytes) == ERROR_SUCCESS;
}

bool RemoveVersionFrom32BitView()
{
    UniqueRegistryKey key;
    const LSTATUS opened = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDependencyKey, 0,
                                         KEY_SET_VALUE | KEY_QUERY_VALUE | KEY_WOW64_32KEY, key.Put());
    if (opened == ERROR_FILE_NOT_FOUND)
    {
        return true;
    }
    if (opened != ERROR_SUCCESS)
    {
        return false;
    }
    const LSTATUS deleted = RegDeleteValueW(key.Get(), kVersionValue);
    if (deleted != ERROR_SUCCESS && deleted != ERROR_FILE_NOT_FOUND)
    {
        return false;
    }
    const bool empty = IsEmpty(key.Get());
    key.Reset();
    return !empty || RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kDependencyKey, KEY_WOW64_32KEY, 0) == ERROR_SUCCESS;
}
