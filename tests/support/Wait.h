#pragma once

#include <windows.h>

#include <algorithm>
#include <functional>

// How long a test waits for anything the program does: far longer than a quiet
// machine needs, so that only a fault, never a busy machine, runs it out.
constexpr DWORD kWaitMs = 30000;

// Asks `done` until it answers true or timeoutMs has passed; asks at least once,
// and once more at the deadline. True when it answered true.
inline bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs = kWaitMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (ULONGLONG now = GetTickCount64(); !done(); now = GetTickCount64())
    {
        if (now >= deadline)
        {
            return false;
        }
        Sleep(static_cast<DWORD>(std::min<ULONGLONG>(50, deadline - now)));
    }
    return true;
}
