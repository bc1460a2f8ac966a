#pragma once

#include <windows.h>

#include <cstdio>
#include <stdexcept>

// A failed Windows Runtime or COM call, carrying the platform's HRESULT.
class WinRtError : public std::runtime_error
{
public:
    explicit WinRtError(HRESULT code) : std::runtime_error(Describe(code)), m_code(code) {}
    HRESULT Code() const { return m_code; }

private:
    static std::string Describe(HRESULT code)
    {
        char text[32];
        std::snprintf(text, sizeof(text), "HRESULT 0x%08lX", static_cast<unsigned long>(code));
        return text;
    }
    HRESULT m_code;
};

// Raises a WinRtError for a failure code; success codes (S_FALSE too) pass.
inline void ThrowIfFailed(HRESULT code)
{
    if (FAILED(code))
    {
        throw WinRtError(code);
    }
}
