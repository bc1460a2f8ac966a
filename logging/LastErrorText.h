#pragma once

#include <windows.h>

#include <string>

// Text of the most recent GetLastErrorText call:
// "{LastErrorCode : %d(0x%X)} <system text>", at most 259 characters.
extern std::wstring g_lastErrorText;
// Callers keep the code that GetLastErrorText returned here.
extern DWORD g_lastErrorCode;

// Reads the thread's last-error code first, formats it with the system's text
// into g_lastErrorText and returns the code. Call it right after the failing call.
DWORD GetLastErrorText();
