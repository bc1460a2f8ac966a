#pragma once

#include "base/UniqueHandle.h"

#include <windows.h>

// Keeps the program to one instance per machine. The mutex is never waited
// on; its existence is the lock, and closing the handle gives it up.
class GlobalMutex
{
public:
    // The first call creates the mutex and leaves the thread's last-error code
    // exactly as CreateMutexW set it; later calls return at once.
    static GlobalMutex& Instance();

    // Closes the handle once; later calls do nothing.
    void Release();

    // Whether some instance, in any session, holds the mutex now. Creates nothing, logs nothing.
    static bool ExistsAlready();

    ~GlobalMutex();
    GlobalMutex(const GlobalMutex&) = delete;
    GlobalMutex& operator=(const GlobalMutex&) = delete;

private:
    GlobalMutex();

    UniqueHandle m_mutex;
    DWORD m_creationError = 0;
    bool m_reportCreationError = false;
};
