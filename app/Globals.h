#pragma once

#include <windows.h>

// Process-wide state of the application shell. Written by the main thread
// before the detection thread starts (g_hMainWnd: once, right after the window
// exists) and only read afterwards.
extern INT32 g_readPresenceStatusRetryCount;
extern bool g_showConsole;
extern HANDLE g_chipAccessHelperEvent;
extern HWND g_hMainWnd;
extern HINSTANCE g_hInstance;
extern bool g_isSuspended;

constexpr INT32 kDefaultRetryCount = 50;
