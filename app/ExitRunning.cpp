#include "app/ExitRunning.h"

#include "app/resource.h"
#include "base/ExitRequest.h"
#include "base/UniqueHandle.h"

#include <string>

namespace
{
constexpr DWORD kEndWaitMs = 10000;
constexpr DWORD kWindowPollMs = 100;
constexpr int kEnded = 0;
constexpr int kFailed = 1;
constexpr int kNameChars = 100;

// The main window of a Voltwren on this desktop, by the class and title that
// Voltwren itself registers from the same string resources.
HWND FindRunningWindow(HINSTANCE instance)
{
    wchar_t title[kNameChars] = {};
    wchar_t className[kNameChars] = {};
    if (LoadStringW(instance, IDS_APP_TITLE, title, kNameChars - 1) == 0 ||
        LoadStringW(instance, IDC_VOLTWREN, className, kNameChars - 1) == 0)
    {
        return nullptr;
    }
    return FindWindowW(className, title);
}

// A program started from a console or a script has a standard error to write to;
// one started from the Start menu or Explorer has none, and a line would be lost.
void Tell(const std::string& text)
{
    const std::string line = "Voltwren -exit: " + text + "\r\n";
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written = 0;
    if (error != nullptr && error != INVALID_HANDLE_VALUE &&
        WriteFile(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
    {
        return;
    }
    MessageBoxA(nullptr, text.c_str(), "Voltwren", MB_OK | MB_ICONWARNING);
}

std::string Describe(DWORD processId)
{
    return "Voltwren (process " + std::to_string(processId) + ")";
}

// Without the right to wait on the process, its window going away is the sign that it ends.
bool WaitForEnd(const UniqueHandle& process, HWND window)
{
    if (process)
    {
        return WaitForSingleObject(process.Get(), kEndWaitMs) == WAIT_OBJECT_0;
    }
    const ULONGLONG deadline = GetTickCount64() + kEndWaitMs;
    while (IsWindow(window))
    {
        if (GetTickCount64() >= deadline)
        {
            return false;
        }
        Sleep(kWindowPollMs);
    }
    return true;
}
} // namespace

int ExitRunningProgram(HINSTANCE instance)
{
    HWND window = FindRunningWindow(instance);
    if (window == nullptr)
    {
        Tell("no Voltwren is running in this session.");
        return kFailed;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    // Opened before the request, so that the id cannot go to another process meanwhile.
    const UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!PostMessageW(window, WM_COMMAND, ExitRequest(kExitAskedBySwitch), 0))
    {
        Tell(Describe(processId) + " could not be asked to end (error " + std::to_string(GetLastError()) +
             ").");
        return kFailed;
    }
    if (!WaitForEnd(process, window))
    {
        Tell(Describe(processId) + " did not end within 10 s.");
        return kFailed;
    }
    return kEnded;
}
