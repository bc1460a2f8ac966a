#include "app/QuitRequest.h"

#include "app/Globals.h"

#include <mutex>

namespace
{
std::mutex s_lock;
bool s_quitPending = false;
} // namespace

void SetMainWindow(HWND window)
{
    std::lock_guard<std::mutex> guard(s_lock);
    g_hMainWnd = window;
    if (s_quitPending && window != nullptr)
    {
        s_quitPending = false;
        PostMessageW(window, WM_QUIT, 0, 0);
    }
}

void PostQuitToMainWindow()
{
    std::lock_guard<std::mutex> guard(s_lock);
    if (g_hMainWnd == nullptr)
    {
        s_quitPending = true;
        return;
    }
    PostMessageW(g_hMainWnd, WM_QUIT, 0, 0);
}
