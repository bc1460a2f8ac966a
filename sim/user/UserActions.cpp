// vwn-user: does to a running Voltwren what a user or the system would, for
// the demo, the installer checks and benchmarks.
//   vwn-user exit [timeout-ms]        File, Exit; waits for the process to end
//   vwn-user send MSG WPARAM          sends a message (numbers, 0x allowed)
//   vwn-user wait-window [timeout-ms] waits until the main window exists
// Exit code: the program's own exit code for "exit"; 0 on success otherwise;
// 2 when there is no window, 3 when the program did not end in time.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace
{
constexpr UINT kExitCommand = 105;

HWND FindMainWindow(DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;)
    {
        HWND window = FindWindowW(L"VOLTWREN", nullptr);
        if (window != nullptr || GetTickCount64() >= deadline)
        {
            return window;
        }
        Sleep(100);
    }
}

unsigned long Number(const wchar_t* text)
{
    return std::wcstoul(text, nullptr, 0);
}

int Exit(DWORD timeoutMs)
{
    HWND window = FindMainWindow(0);
    if (window == nullptr)
    {
        std::fwprintf(stderr, L"vwn-user: no Voltwren window\n");
        return 2;
    }
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(kExitCommand, 0), 0);
    if (process == nullptr)
    {
        return 0;
    }
    DWORD exitCode = 0;
    const bool ended = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
    GetExitCodeProcess(process, &exitCode);
    CloseHandle(process);
    if (!ended)
    {
        std::fwprintf(stderr, L"vwn-user: Voltwren did not end within %lu ms\n", timeoutMs);
        return 3;
    }
    std::wprintf(L"Voltwren ended with exit code %ld\n", static_cast<long>(exitCode));
    return static_cast<int>(exitCode);
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    const std::wstring action = argc > 1 ? argv[1] : L"";
    if (action == L"exit")
    {
        return Exit(argc > 2 ? Number(argv[2]) : 15000);
    }
    if (action == L"wait-window")
    {
        return FindMainWindow(argc > 2 ? Number(argv[2]) : 30000) != nullptr ? 0 : 2;
    }
    if (action == L"send" && argc > 3)
    {
        HWND window = FindMainWindow(0);
        if (window == nullptr)
        {
            std::fwprintf(stderr, L"vwn-user: no Voltwren window\n");
            return 2;
        }
        SendMessageW(window, static_cast<UINT>(Number(argv[2])), static_cast<WPARAM>(Number(argv[3])), 0);
        return 0;
    }
    std::fwprintf(stderr,
                  L"usage: vwn-user exit [timeout-ms] | send MSG WPARAM | wait-window [timeout-ms]\n");
    return 1;
}
