#include "log4cxx_wrapper.h"

#include "logbackend/core/Configurator.h"
#include "logbackend/core/Diagnostics.h"
#include "logbackend/core/Repository.h"
#include "logbackend/core/Text.h"

#include <cstdint>
#include <exception>

using namespace vwnlog;

namespace
{
// Made on first use and never destroyed: at process end threads the system
// has already stopped may hold its locks, and the order of static
// destructors is nobody's promise. The system closes the files.
// A plain pointer, not a function-local static, so that no run-time guard
// object (and its lock) is involved either.
Repository* volatile s_repository = nullptr;

Repository& TheRepository()
{
    Repository* repository = s_repository;
    if (repository != nullptr)
    {
        return *repository;
    }
    Repository* fresh = new Repository;
    repository = static_cast<Repository*>(
        InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&s_repository), fresh, nullptr));
    if (repository != nullptr)
    {
        // Another thread was first; nothing of ours has been handed out yet.
        delete fresh;
        return *repository;
    }
    return *fresh;
}

void ReportFailure(const char* what) noexcept
{
    try
    {
        ReportError(L"internal failure (" + AnsiToWide(what) + L"); the call did nothing");
    }
    catch (...)
    {
        OutputDebugStringW(L"Log4cxxWrapper: ERROR internal failure; the call did nothing\n");
    }
}

size_t LoggerId(Log4cxxLogger logger)
{
    return static_cast<size_t>(reinterpret_cast<uintptr_t>(logger));
}

Log4cxxLogger LoggerHandle(size_t id)
{
    return reinterpret_cast<Log4cxxLogger>(static_cast<uintptr_t>(id));
}

template <typename Action>
auto Guarded(Action action, decltype(action()) failed) noexcept -> decltype(action())
{
    try
    {
        return action();
    }
    catch (const std::exception& error)
    {
        ReportFailure(error.what());
    }
    catch (...)
    {
        ReportFailure("unknown exception");
    }
    return failed;
}

void LogW(Log4cxxLogger logger, Level level, const wchar_t* text) noexcept
{
    if (logger == nullptr || text == nullptr)
    {
        return;
    }
    Guarded(
        [&]()
        {
            TheRepository().Log(LoggerId(logger), level, text);
            return 0;
        },
        0);
}

void LogA(Log4cxxLogger logger, Level level, const char* text) noexcept
{
    if (logger == nullptr || text == nullptr)
    {
        return;
    }
    Guarded(
        [&]()
        {
            Repository& repository = TheRepository();
            if (repository.IsEnabled(LoggerId(logger), level))
            {
                repository.Log(LoggerId(logger), level, AnsiToWide(text));
            }
            return 0;
        },
        0);
}

int DomConfigure(const std::wstring& path)
{
    ReportError(L"XML configuration is not supported; \"" + path +
                L"\" is ignored. Use a properties file with Log4cxxPropertyConfigure.");
    return 0;
}
} // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    // Nothing else here: work under the loader lock invites deadlocks, and at
    // process detach other threads may have died holding our locks.
    if (reason == DLL_PROCESS_ATTACH)
    {
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C"
{

    int WINAPI Log4cxxBasicConfigure(void)
    {
        return Guarded(
            []()
            {
                TheRepository().Replace(BasicConfiguration());
                return 1;
            },
            0);
    }

    int WINAPI Log4cxxPropertyConfigureW(const wchar_t* path)
    {
        if (path == nullptr)
        {
            return 0;
        }
        return Guarded([&]() { return ConfigureFromFile(TheRepository(), path) ? 1 : 0; }, 0);
    }

    int WINAPI Log4cxxPropertyConfigureA(const char* path)
    {
        if (path == nullptr)
        {
            return 0;
        }
        return Guarded([&]() { return ConfigureFromFile(TheRepository(), AnsiToWide(path)) ? 1 : 0; }, 0);
    }

    int WINAPI Log4cxxDOMConfigureW(const wchar_t* path)
    {
        return Guarded([&]() { return DomConfigure(path == nullptr ? std::wstring() : std::wstring(path)); },
                       0);
    }

    int WINAPI Log4cxxDOMConfigureA(const char* path)
    {
        return Guarded([&]() { return DomConfigure(path == nullptr ? std::wstring() : AnsiToWide(path)); },
                       0);
    }

    Log4cxxLogger WINAPI Log4cxxGetLoggerW(const wchar_t* name)
    {
        if (name == nullptr)
        {
            return nullptr;
        }
        return Guarded([&]() { return LoggerHandle(TheRepository().GetLogger(name)); },
                       static_cast<Log4cxxLogger>(nullptr));
    }

    Log4cxxLogger WINAPI Log4cxxGetLoggerA(const char* name)
    {
        if (name == nullptr)
        {
            return nullptr;
        }
        return Guarded([&]() { return LoggerHandle(TheRepository().GetLogger(AnsiToWide(name))); },
                       static_cast<Log4cxxLogger>(nullptr));
    }

    void WINAPI Log4cxxTraceA(Log4cxxLogger logger, const char* text)
    {
        LogA(logger, Level::Trace, text);
    }
    void WINAPI Log4cxxTraceW(Log4cxxLogger logger, const wchar_t* text)
    {
        LogW(logger, Level::Trace, text);
    }
    void WINAPI Log4cxxDebugA(Log4cxxLogger logger, const char* text)
    {
        LogA(logger, Level::Debug, text);
    }
    void WINAPI Log4cxxDebugW(Log4cxxLogger logger, const wchar_t* text)
    {
        LogW(logger, Level::Debug, text);
    }
    void WINAPI Log4cxxInfoA(Log4cxxLogger logger, const char* text)
    {
        LogA(logger, Level::Info, text);
    }
    void WINAPI Log4cxxInfoW(Log4cxxLogger logger, const wchar_t* text)
    {
        LogW(logger, Level::Info, text);
    }
    void WINAPI Log4cxxWarnA(Log4cxxLogger logger, const char* text)
    {
        LogA(logger, Level::Warn, text);
    }
    void WINAPI Log4cxxWarnW(Log4cxxLogger logger, const wchar_t* text)
    {
        LogW(logger, Level::Warn, text);
    }
    void WINAPI Log4cxxErrorA(Log4cxxLogger logger, const char* text)
    {
        LogA(logger, Level::Error, text);
    }
    void WINAPI Log4cxxErrorW(Log4cxxLogger logger, const wchar_t* text)
    {
        LogW(logger, Level::Error, text);
    }
    void WINAPI Log4cxxFatalA(Log4cxxLogger logger, const char* text)
    {
        LogA(logger, Level::Fatal, text);
    }
    void WINAPI Log4cxxFatalW(Log4cxxLogger logger, const wchar_t* text)
    {
        LogW(logger, Level::Fatal, text);
    }
}
