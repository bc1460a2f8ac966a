#include "logging/LastErrorText.h"

#include "base/UniqueHandle.h"

#include <cstdio>

namespace
{
constexpr size_t kTextChars = 260;
} // namespace

std::wstring LastErrorText(DWORD code)
{
    wchar_t* systemText = nullptr;
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
    const DWORD length = FormatMessageW(flags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                        reinterpret_cast<wchar_t*>(&systemText), 0, nullptr);
    const UniqueLocalMemory ownedText(systemText);

    // A text too long for the buffer is cut, never written past its end.
    wchar_t buffer[kTextChars] = {};
    _snwprintf_s(buffer, kTextChars, _TRUNCATE, L"{LastErrorCode : %d(0x%X)} %s", static_cast<int>(code),
                 code, (length != 0 && systemText != nullptr) ? systemText : L"");
    return buffer;
}
