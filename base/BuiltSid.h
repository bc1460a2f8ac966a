#pragma once

#include <windows.h>

// A well-known SID built for the occasion and released with FreeSid.
class BuiltSid
{
public:
    BuiltSid(SID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD first, DWORD second = 0)
    {
        if (!AllocateAndInitializeSid(&authority, count, first, second, 0, 0, 0, 0, 0, 0, &m_sid))
        {
            m_sid = nullptr;
        }
    }
    ~BuiltSid()
    {
        if (m_sid != nullptr)
        {
            FreeSid(m_sid);
        }
    }
    BuiltSid(const BuiltSid&) = delete;
    BuiltSid& operator=(const BuiltSid&) = delete;

    // A SID that could not be built equals nothing.
    bool Equals(PSID other) const { return m_sid != nullptr && other != nullptr && EqualSid(m_sid, other); }
    bool IsBuilt() const { return m_sid != nullptr; }

private:
    PSID m_sid = nullptr;
};
