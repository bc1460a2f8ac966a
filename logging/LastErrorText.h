#pragma once

#include <windows.h>

#include <string>

// "{LastErrorCode : %d(0x%X)} <system text>" for a Win32 error code, at most
// 259 characters; the system text keeps its own line break. Each caller gets
// its own text, so threads never share one. Read the code with GetLastError
// right after the failing call, before anything can change it.
std::wstring LastErrorText(DWORD code);
