#pragma once

#include <windows.h>

#include <memory>
#include <string>

// The program's only way to write a log: binds four entry points of
// Log4cxxWrapper.dll from the program folder and forwards finished texts to
// it at DEBUG level. Without the library every operation does nothing.
typedef void* LoggerHandle;

struct LoggerRef
{
    LoggerHandle handle = nullptr;
};

typedef std::unique_ptr<LoggerRef> LoggerRefPtr;

// Gives the text after "vwn_" in every logger's name: the caller decides what it
// is (the program passes the installed version), so the facade depends on nothing above it.
typedef std::string (*LoggerNameSuffix)();

class ApacheLogger
{
public:
    // Capacity of the formatting buffer and the longest text it may carry.
    static constexpr size_t kBufferChars = 4096;
    static constexpr size_t kMaxMessageChars = 4093;

    // Resets the log folder (unless resetLogFolder is false), then binds the
    // library in workingDir. A folder that the reset could not make trustworthy
    // must not receive the log: after a failed reset the library stays unbound
    // for this run, and the debugger hears why, once.
    static void Init(const std::wstring& workingDir, LoggerNameSuffix suffix, bool resetLogFolder = true);
    // Binds the library only (the second half of Init).
    static void Bind(const std::wstring& workingDir, LoggerNameSuffix suffix);
    static void Configure(const std::wstring& propertiesPath);
    // Whether the library was loaded and gave its entry points.
    static bool IsBound();
    static LoggerRefPtr GetLogger(const std::wstring& name);

    static void DebugW(const LoggerRefPtr& logger, const wchar_t* format, ...);
    static void DebugA(const LoggerRefPtr& logger, const char* format, ...)
        __attribute__((format(printf, 2, 3)));
    static void WriteW(const LoggerRefPtr& logger, const wchar_t* text);
    static void WriteA(const LoggerRefPtr& logger, const char* text);
};

// The program writes everything to one logger at DEBUG level.
#define VWN_LOGW(...) ApacheLogger::DebugW(ApacheLogger::GetLogger(L"vwn"), __VA_ARGS__)
#define VWN_LOGA(...) ApacheLogger::DebugA(ApacheLogger::GetLogger(L"vwn"), __VA_ARGS__)
