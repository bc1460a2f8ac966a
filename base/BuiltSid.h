#pragma once

#include "base/UniqueHandle.h"

#include <windows.h>

// A well-known SID built for the occasion.
class BuiltSid
{
public:
    BuiltSid(SID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD first, DWORD second = 0)
    {
        if (!AllocateAndInitializeSid(&authority, count, first, second, 0, 0, 0, 0, 0, 0, m_sid.Put()))
        {
            // What a failed call leaves behind is not a SID: drop it unfreed.
            m_sid.Release();
        }
    }

    // A SID that could not be built equals nothing.
    bool Equals(PSID other) const { return m_sid && other != nullptr && EqualSid(m_sid.Get(), other); }
    bool IsBuilt() const { return m_sid.IsValid(); }

private:
    UniqueSid m_sid;
};
