#include "logging/ApacheLogger.h"

#include "logging/LogFolderReset.h"

#include <cstdarg>
#include <cstdio>
#include <exception>

namespace
{
// The four entry points of Log4cxxWrapper.dll that the program binds.
typedef int(WINAPI* ConfigureFn)(const wchar_t* path);
typedef LoggerHandle(WINAPI* GetLoggerFn)(const wchar_t* name);
typedef void(WINAPI* DebugWFn)(LoggerHandle logger, const wchar_t* text);
typedef void(WINAPI* DebugAFn)(LoggerHandle logger, const char* text);

int WINAPI NoConfigure(const wchar_t*)
{
    return 0;
}
LoggerHandle WINAPI NoGetLogger(const wchar_t*)
{
    return nullptr;
}
void WINAPI NoDebugW(LoggerHandle, const wchar_t*) {}
void WINAPI NoDebugA(LoggerHandle, const char*) {}

// Written once by Init on the main thread before any other thread exists.
ConfigureFn s_configure = NoConfigure;
GetLoggerFn s_getLogger = NoGetLogger;
DebugWFn s_debugW = NoDebugW;
DebugAFn s_debugA = NoDebugA;
LoggerNameSuffix s_nameSuffix = nullptr;

template <typename Fn> void BindEntryPoint(HMODULE library, const char* name, Fn& slot)
{
    FARPROC proc = GetProcAddress(library, name);
    if (proc != nullptr)
    {
        slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
    }
}

// Trailing blanks go; tabs and line breaks stay. Returns the new length.
template <typename Char> size_t TrimTrailingBlanks(Char* text, size_t length)
{
    while (length > 0 && text[length - 1] == Char(' '))
    {
        text[--length] = Char(0);
    }
    return length;
}

// A runtime message in the ANSI code page, as the debugger line needs it.
std::wstring Widen(const char* text)
{
    const int size = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(size > 0 ? size : 1), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], size);
    wide.resize(wide.size() - 1);
    return wide;
}

// The secure formatter reports a cut with -1 and keeps the first 4093 characters.
size_t EndOfFormatted(int result)
{
    return result < 0 ? ApacheLogger::kMaxMessageChars : static_cast<size_t>(result);
}
} // namespace

void ApacheLogger::Init(const std::wstring& workingDir, LoggerNameSuffix suffix, bool resetLogFolder)
{
    if (resetLogFolder)
    {
        try
        {
            ResetLogFolder();
        }
        catch (const std::exception& error)
        {
            // Nothing is bound yet: only the debugger can hear it.
            OutputDebugStringW((L"[ApacheLogger][Init] @@@@@ " + Widen(error.what()) +
                                L": no log library for this run !!! @@@@@")
                                   .c_str());
            return;
        }
    }
    Bind(workingDir, suffix);
}

void ApacheLogger::Bind(const std::wstring& workingDir, LoggerNameSuffix suffix)
{
    s_nameSuffix = suffix;
    const std::wstring path = workingDir + L"Log4cxxWrapper.dll";
    HMODULE library = LoadLibraryW(path.c_str());
    if (library == nullptr)
    {
        return;
    }
    BindEntryPoint(library, "Log4cxxPropertyConfigureW", s_configure);
    BindEntryPoint(library, "Log4cxxDebugA", s_debugA);
    BindEntryPoint(library, "Log4cxxDebugW", s_debugW);
    BindEntryPoint(library, "Log4cxxGetLoggerW", s_getLogger);
}

void ApacheLogger::Configure(const std::wstring& propertiesPath)
{
    s_configure(propertiesPath.c_str());
}

LoggerRefPtr ApacheLogger::GetLogger(const std::wstring& name)
{
    const std::string version = s_nameSuffix != nullptr ? s_nameSuffix() : std::string();
    std::wstring fullName = name + L"_";
    for (unsigned char c : version)
    {
        fullName += static_cast<wchar_t>(c);
    }
    LoggerRefPtr ref(new LoggerRef);
    ref->handle = s_getLogger(fullName.c_str());
    return ref;
}

void ApacheLogger::DebugW(const LoggerRefPtr& logger, const wchar_t* format, ...)
{
    wchar_t buffer[kBufferChars] = {};
    va_list args;
    va_start(args, format);
    const int result = _vsnwprintf_s(buffer, kBufferChars, kMaxMessageChars, format, args);
    va_end(args);
    TrimTrailingBlanks(buffer, EndOfFormatted(result));
    const std::wstring text(buffer);
    s_debugW(logger ? logger->handle : nullptr, text.c_str());
}

void ApacheLogger::DebugA(const LoggerRefPtr& logger, const char* format, ...)
{
    char buffer[kBufferChars] = {};
    va_list args;
    va_start(args, format);
    const int result = _vsnprintf_s(buffer, kBufferChars, kMaxMessageChars, format, args);
    va_end(args);
    TrimTrailingBlanks(buffer, EndOfFormatted(result));
    const std::string text(buffer);
    s_debugA(logger ? logger->handle : nullptr, text.c_str());
}

void ApacheLogger::WriteW(const LoggerRefPtr& logger, const wchar_t* text)
{
    s_debugW(logger ? logger->handle : nullptr, text);
}

void ApacheLogger::WriteA(const LoggerRefPtr& logger, const char* text)
{
    s_debugA(logger ? logger->handle : nullptr, text);
}
