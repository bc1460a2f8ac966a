// VoltwrenSetup.dll: what the setups need code for. The MSI calls all but the last as
// custom actions; the NSIS setup calls MakeLogFolderW, so both make the log folder and
// C:\ProgramData\Tessaly above it with the same owner and rights, and log the same lines.
#include "packaging/setup-actions/FolderEvents.h"
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

// Deferred, not impersonated: CustomActionData names the log folder. One line per folder.
extern "C" __declspec(dllexport) UINT __stdcall CreateLogFolder(MSIHANDLE install)
{
    FolderEvents events;
    const DWORD error =
        MakeLogFolder(Property(install, L"CustomActionData"),
                      [install, &events](const std::wstring& path, const FolderOutcome& outcome)
                      {
                          LogLine(install, FolderLine(path, outcome));
                          events.Note(path, outcome);
                      });
    events.Report();
    return error == ERROR_SUCCESS ? ERROR_SUCCESS : ERROR_INSTALL_FAILURE;
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

// For the NSIS setup: ERROR_SUCCESS when the log folder stands, otherwise the system error
// of the refusal. The lines for the parent and the folder (empty when not reached) go to two
// buffers of `capacity` characters each.
extern "C" __declspec(dllexport) DWORD
    __stdcall MakeLogFolderW(const wchar_t* folder, wchar_t* parentLine, wchar_t* folderLine, DWORD capacity)
{
    wchar_t* lines[] = {parentLine, folderLine};
    size_t reached = 0;
    for (wchar_t* line : lines)
    {
        lstrcpynW(line, L"", static_cast<int>(capacity));
    }
    FolderEvents events;
    const DWORD error = MakeLogFolder(folder,
                                      [&](const std::wstring& path, const FolderOutcome& outcome)
                                      {
                                          events.Note(path, outcome);
                                          if (reached < 2)
                                          {
                                              lstrcpynW(lines[reached++], FolderLine(path, outcome).c_str(),
                                                        static_cast<int>(capacity));
                                          }
                                      });
    events.Report();
    return error;
}
