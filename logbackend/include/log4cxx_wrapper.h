/* Log4cxxWrapper.dll: Voltwren's logging library, configured by a log4j 1.x
   properties file. Every entry point uses the Windows API calling convention
   and is exported under its plain name on 32-bit and 64-bit builds.

   Wide text is UTF-16; narrow text is in the system's ANSI code page. No
   entry point throws. A null logger or null text does nothing. */
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C"
{
#endif

    /* A logger, by name. Valid for the life of the process; never released. */
    typedef struct Log4cxxLoggerTag* Log4cxxLogger;

    /* Each configurator replaces the whole previous configuration. They return
       nonzero when the configuration was applied (problems inside it are reported
       to the debugger), 0 when nothing could be applied. */
    int WINAPI Log4cxxBasicConfigure(void);
    int WINAPI Log4cxxPropertyConfigureA(const char* path);
    int WINAPI Log4cxxPropertyConfigureW(const wchar_t* path);
    /* XML configuration is not supported: these report so and return 0. */
    int WINAPI Log4cxxDOMConfigureA(const char* path);
    int WINAPI Log4cxxDOMConfigureW(const wchar_t* path);

    /* Never null for a non-null name; the same name gives the same logger. */
    Log4cxxLogger WINAPI Log4cxxGetLoggerA(const char* name);
    Log4cxxLogger WINAPI Log4cxxGetLoggerW(const wchar_t* name);

    /* One message each; the layout adds time, level, line break and so on. */
    void WINAPI Log4cxxTraceA(Log4cxxLogger logger, const char* text);
    void WINAPI Log4cxxTraceW(Log4cxxLogger logger, const wchar_t* text);
    void WINAPI Log4cxxDebugA(Log4cxxLogger logger, const char* text);
    void WINAPI Log4cxxDebugW(Log4cxxLogger logger, const wchar_t* text);
    void WINAPI Log4cxxInfoA(Log4cxxLogger logger, const char* text);
    void WINAPI Log4cxxInfoW(Log4cxxLogger logger, const wchar_t* text);
    void WINAPI Log4cxxWarnA(Log4cxxLogger logger, const char* text);
    void WINAPI Log4cxxWarnW(Log4cxxLogger logger, const wchar_t* text);
    void WINAPI Log4cxxErrorA(Log4cxxLogger logger, const char* text);
    void WINAPI Log4cxxErrorW(Log4cxxLogger logger, const wchar_t* text);
    void WINAPI Log4cxxFatalA(Log4cxxLogger logger, const char* text);
    void WINAPI Log4cxxFatalW(Log4cxxLogger logger, const wchar_t* text);

#ifdef __cplusplus
}
#endif
