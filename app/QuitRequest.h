#pragma once

#include <windows.h>

// The detection thread may give up before the main window exists; its quit
// request is then held and posted as soon as the window is known.

// Main thread: stores g_hMainWnd and posts a quit request that came before it.
void SetMainWindow(HWND window);
// Any thread: posts WM_QUIT to the main window, or holds it until the window exists.
void PostQuitToMainWindow();
