#pragma once

#include "base/UniqueHandle.h"

#include <windows.h>

// An event that only this program knows by its name.
struct NamedEvent
{
    // Empty when the name was taken or the event could not be made.
    UniqueHandle event;
    // ERROR_ALREADY_EXISTS for a taken name, else the creation's error; 0 on success.
    DWORD error = 0;
};

// CreateEventW under `name`, not signalled. Only one instance runs and nothing
// of it opens its events by name, so a name that already exists belongs to
// another program, which could set the event at will: that handle is closed
// and the result is empty, with ERROR_ALREADY_EXISTS.
inline NamedEvent CreateNamedEvent(const wchar_t* name, bool manualReset)
{
    NamedEvent result;
    result.event.Reset(CreateEventW(nullptr, manualReset ? TRUE : FALSE, FALSE, name));
    result.error = GetLastError();
    if (!result.event)
    {
        return result;
    }
    if (result.error == ERROR_ALREADY_EXISTS)
    {
        result.event.Reset();
    }
    else
    {
        result.error = 0;
    }
    return result;
}
