// The baseline for the detection benchmark: an idle Win32 program with a
// hidden window and a message loop, started the way Voltwren is.
#include <windows.h>

namespace
{
LRESULT CALLBACK IdleProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY)
    {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = IdleProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"VWN_IDLE_BASELINE";
    RegisterClassExW(&windowClass);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"idle", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  0, CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
    {
        return 1;
    }
    ShowWindow(window, SW_HIDE);
    MSG message = {};
    while (GetMessageW(&message, nullptr, 0, 0) != 0)
    {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}
