#pragma once

#include "base/UniqueHandle.h"
#include "detection/PollingFigures.h"

#include <windows.h>

// Process-wide state of the application shell. Written by the main thread
// before the detection thread starts (g_hMainWnd: once, right after the window
// exists) and only read afterwards. Detailed mode is no global: the entry point
// passes it, as a value, to what needs it.
extern INT32 g_readPresenceStatusRetryCount;
// Set by detection's Release; the entry point waits for it at shut-down.
extern UniqueHandle g_chipAccessHelperEvent;
extern HWND g_hMainWnd;
extern HINSTANCE g_hInstance;
extern bool g_isSuspended;
