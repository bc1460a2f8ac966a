#include "packaging/setup-actions/RunningProgram.h"

#include "base/ExitRequest.h"
#include "base/UniqueHandle.h"

#include <windows.h>

namespace
{
const wchar_t* const kWindowClass = L"VOLTWREN";
constexpr int kTries = 3;
constexpr UINT kSendTimeoutMs = 5000;
constexpr DWORD kEndTimeoutMs = 15000;
// A process we cannot open to wait for gets this long to end before the next look.
constexpr DWORD kUnwatchedWaitMs = 2000;

void AskToEnd(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_COMMAND, ExitRequest(kExitAskedBySetup), 0, SMTO_ABORTIFHUNG,
                        kSendTimeoutMs, &ignored);
    if (process)
    {
        WaitForSingleObject(process.Get(), kEndTimeoutMs);
    }
    else
    {
        Sleep(kUnwatchedWaitMs);
    }
}
} // namespace

bool EndRunningProgram(const ProgressLine& progress)
{
    for (int tries = 0;; ++tries)
    {
        HWND window = FindWindowW(kWindowClass, nullptr);
        if (window == nullptr)
        {
            return true;
        }
        if (tries == kTries)
        {
            progress(L"Voltwren does not end; its files may stay until the next restart.");
            return false;
        }
        progress(L"Asking Voltwren to end ...");
        AskToEnd(window);
    }
}

bool StartProgramForTheUser(const std::wstring& programFolder)
{
    wchar_t windows[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
    {
        return false;
    }
    // Explorer hands the start to the user's running shell.
    const std::wstring explorer = std::wstring(windows) + L"\\explorer.exe";
    std::wstring commandLine = L"\"" + explorer + L"\" \"" + programFolder + L"Voltwren.exe\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(explorer.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started))
    {
        return false;
    }
    UniqueHandle thread(started.hThread);
    UniqueHandle process(started.hProcess);
    return true;
}
