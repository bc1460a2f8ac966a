#include "app/Globals.h"

INT32 g_readPresenceStatusRetryCount = kDefaultRetryCount;
bool g_showConsole = false;
HANDLE g_chipAccessHelperEvent = nullptr;
HWND g_hMainWnd = nullptr;
HINSTANCE g_hInstance = nullptr;
bool g_isSuspended = false;
