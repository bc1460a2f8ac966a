#include "app/Globals.h"

INT32 g_readPresenceStatusRetryCount = kDefaultRetryCount;
UniqueHandle g_chipAccessHelperEvent;
HWND g_hMainWnd = nullptr;
HINSTANCE g_hInstance = nullptr;
bool g_isSuspended = false;
