#include "logging/DebuggerLine.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

namespace
{
constexpr size_t kDebuggerLineChars = 260;
} // namespace

void DebuggerLine(const wchar_t* format, ...)
{
    wchar_t buffer[kDebuggerLineChars] = {};
    va_list args;
    va_start(args, format);
    _vsnwprintf_s(buffer, kDebuggerLineChars, _TRUNCATE, format, args);
    va_end(args);
    OutputDebugStringW(buffer);
}
