#include "logging/ApacheLogger.h"

#include "base/TextCodec.h"
#include "logging/EventReports.h"
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

// What the event log says of a library that did not load.
std::wstring LoadFailure(const std::wstring& path, DWORD code)
{
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
    {
        return L"Log4cxxWrapper.dll is missing: " + path;
    }
    return L"Log4cxxWrapper.dll refused to load (error " + std::to_wstring(code) + L"): " + path;
}

int FormatInto(wchar_t* buffer, const wchar_t* format, va_list args)
{
    return _vsnwprintf_s(buffer, ApacheLogger::kBufferChars, ApacheLogger::kMaxMessageChars, format, args);
}

int FormatInto(char* buffer, const char* format, va_list args)
{
    return _vsnprintf_s(buffer, ApacheLogger::kBufferChars, ApacheLogger::kMaxMessageChars, format, args);
}

// Formats, drops trailing blanks (tabs and line breaks stay) and hands the text on.
// The secure formatter reports a cut with -1 and keeps the first 4093 characters.
template <typename Char, typename DebugFn>
void FormatAndWrite(DebugFn debug, const LoggerRefPtr& logger, const Char* format, va_list args)
{
    Char buffer[ApacheLogger::kBufferChars] = {};
    const int result = FormatInto(buffer, format, args);
    size_t length = result < 0 ? ApacheLogger::kMaxMessageChars : static_cast<size_t>(result);
    while (length > 0 && buffer[length - 1] == Char(' '))
    {
        buffer[--length] = Char(0);
    }
    debug(logger ? logger->handle : nullptr, buffer);
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
            OutputDebugStringW((L"[ApacheLogger][Init] @@@@@ " + FromAnsi(error.what()) +
                                L": no log library for this run !!! @@@@@")
                                   .c_str());
            ReportToEventLog(VoltwrenEvent::kLogFolderDistrusted,
                             {kLogFolderPath, FromAnsi(error.what()) + L"; this run writes no log"});
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
        const DWORD code = GetLastError();
        ReportToEventLog(VoltwrenEvent::kLogNotBound, {LoadFailure(path, code)});
        return;
    }
    BindEntryPoint(library, "Log4cxxPropertyConfigureW", s_configure);
    BindEntryPoint(library, "Log4cxxDebugA", s_debugA);
    BindEntryPoint(library, "Log4cxxDebugW", s_debugW);
    BindEntryPoint(library, "Log4cxxGetLoggerW", s_getLogger);
}

void ApacheLogger::Configure(const std::wstring& propertiesPath)
{
    if (IsBound() && GetFileAttributesW(propertiesPath.c_str()) == INVALID_FILE_ATTRIBUTES)
    {
        ReportToEventLog(VoltwrenEvent::kLogNotBound, {L"log4cxx.properties is missing: " + propertiesPath});
    }
    s_configure(propertiesPath.c_str());
}

bool ApacheLogger::IsBound()
{
    return s_debugW != NoDebugW;
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
    va_list args;
    va_start(args, format);
    FormatAndWrite(s_debugW, logger, format, args);
    va_end(args);
}

void ApacheLogger::DebugA(const LoggerRefPtr& logger, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatAndWrite(s_debugA, logger, format, args);
    va_end(args);
}

void ApacheLogger::WriteW(const LoggerRefPtr& logger, const wchar_t* text)
{
    s_debugW(logger ? logger->handle : nullptr, text);
}

void ApacheLogger::WriteA(const LoggerRefPtr& logger, const char* text)
{
    s_debugA(logger ? logger->handle : nullptr, text);
}
