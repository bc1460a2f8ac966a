#include "logging/LastErrorText.h"

#include <cstdio>

std::wstring g_lastErrorText;
DWORD g_lastErrorCode = 0;

DWORD GetLastErrorText()
{
    const DWORD code = GetLastError();

    wchar_t* systemText = nullptr;
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
    const DWORD length = FormatMessageW(flags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                        reinterpret_cast<wchar_t*>(&systemText), 0, nullptr);

    // A text too long for the buffer is cut, never written past its end.
    wchar_t buffer[260] = {};
    _snwprintf_s(buffer, 260, _TRUNCATE, L"{LastErrorCode : %d(0x%X)} %s", static_cast<int>(code), code,
                 (length != 0 && systemText != nullptr) ? systemText : L"");
    if (systemText != nullptr)
    {
        LocalFree(systemText);
    }
    g_lastErrorText = buffer;
    return code;
}
