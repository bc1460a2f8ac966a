// VoltwrenSetup.dll: what the setups need code for. The MSI calls all but the last as
// custom actions; the NSIS setup calls MakeLogFolderW, so both make the log folder
// with the same owner and rights.
#include "packaging/setup-actions/InstalledVersion.h"
#include "packaging/setup-actions/LogFolderRights.h"
#include "packaging/setup-actions/RunningProgram.h"

#include <windows.h>

#include <msiquery.h>

#include <string>

namespace
{
struct MsiHandleTraits
{
    using Value = MSIHANDLE;
    static Value Empty() { return 0; }
    static void Close(Value value) { MsiCloseHandle(value); }
};
using UniqueMsiHandle = BasicUniqueHandle<MsiHandleTraits>;

// One line in the installer's log (msiexec /l*v).
void LogLine(MSIHANDLE install, const std::wstring& line)
{
    UniqueMsiHandle record(MsiCreateRecord(0));
    if (record)
    {
        MsiRecordSetStringW(record.Get(), 0, line.c_str());
        MsiProcessMessage(install, INSTALLMESSAGE_INFO, record.Get());
    }
}

std::wstring Property(MSIHANDLE install, const wchar_t* name)
{
    DWORD length = 0;
    wchar_t empty[1] = {};
    if (MsiGetPropertyW(install, name, empty, &length) != ERROR_MORE_DATA)
    {
        return std::wstring();
    }
    std::wstring value(length, L'\0');
    ++length;
    if (MsiGetPropertyW(install, name, value.data(), &length) != ERROR_SUCCESS)
    {
        return std::wstring();
    }
    value.resize(length);
    return value;
}
} // namespace

// Deferred, not impersonated: CustomActionData names the log folder.
extern "C" __declspec(dllexport) UINT __stdcall CreateLogFolder(MSIHANDLE install)
{
    const std::wstring folder = Property(install, L"CustomActionData");
    DWORD error = ERROR_SUCCESS;
    switch (MakeLogFolder(folder, error))
    {
    case LogFolderResult::Made:
        LogLine(install, L"Made the log folder " + folder);
        return ERROR_SUCCESS;
    case LogFolderResult::Kept:
        LogLine(install, L"Keeping the log folder " + folder + L", its rights set again");
        return ERROR_SUCCESS;
    case LogFolderResult::Replaced:
        LogLine(install,
                L"Made the log folder " + folder + L" afresh: a link or a folder of another owner was there");
        return ERROR_SUCCESS;
    case LogFolderResult::Failed:
        break;
    }
    LogLine(install, L"The log folder " + folder + L" cannot be made with its rights: error " +
                         std::to_wstring(error));
    return ERROR_INSTALL_FAILURE;
}

// Immediate, as the user: the program's window is on the user's desktop.
extern "C" __declspec(dllexport) UINT __stdcall EndRunningVoltwren(MSIHANDLE install)
{
    EndRunningProgram([install](const std::wstring& line) { LogLine(install, line); });
    return ERROR_SUCCESS;
}

// After an interactive install, from the client side of the installer.
extern "C" __declspec(dllexport) UINT __stdcall StartVoltwren(MSIHANDLE install)
{
    const std::wstring folder = Property(install, L"INSTALLFOLDER");
    if (folder.empty() || !StartProgramForTheUser(folder))
    {
        LogLine(install, L"Voltwren could not be started from " + folder);
    }
    return ERROR_SUCCESS;
}

// Deferred, not impersonated: CustomActionData holds the product version. A version the
// program cannot read only makes its logger names end in "NaN": never fatal.
extern "C" __declspec(dllexport) UINT __stdcall WriteInstalledVersion32(MSIHANDLE install)
{
    if (!WriteVersionIn32BitView(Property(install, L"CustomActionData")))
    {
        LogLine(install, L"The version could not be written in the 32-bit registry view");
    }
    return ERROR_SUCCESS;
}

// Deferred, not impersonated, on removal.
extern "C" __declspec(dllexport) UINT __stdcall RemoveInstalledVersion32(MSIHANDLE install)
{
    if (!RemoveVersionFrom32BitView())
    {
        LogLine(install, L"The version could not be removed from the 32-bit registry view");
    }
    return ERROR_SUCCESS;
}

// For the NSIS setup: 0 when made, ERROR_ALREADY_EXISTS when an existing folder was
// kept, kLogFolderReplaced when a distrusted one was replaced, otherwise the system
// error code.
constexpr DWORD kLogFolderReplaced = 0x20000001; // bit 29: a code of our own, no system error

extern "C" __declspec(dllexport) DWORD __stdcall MakeLogFolderW(const wchar_t* folder)
{
    DWORD error = ERROR_SUCCESS;
    switch (MakeLogFolder(folder, error))
    {
    case LogFolderResult::Made:
        return ERROR_SUCCESS;
    case LogFolderResult::Kept:
        return ERROR_ALREADY_EXISTS;
    case LogFolderResult::Replaced:
        return kLogFolderReplaced;
    case LogFolderResult::Failed:
        break;
    }
    return error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error;
}
