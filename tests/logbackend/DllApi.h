#pragma once

#include "log4cxx_wrapper.h"

#include <windows.h>

#include <string>

namespace logtest
{
// Log4cxxWrapper.dll bound by its export names, as the program binds it.
struct DllApi
{
    HMODULE module = nullptr;
    decltype(&Log4cxxBasicConfigure) basicConfigure = nullptr;
    decltype(&Log4cxxPropertyConfigureA) propertyConfigureA = nullptr;
    decltype(&Log4cxxPropertyConfigureW) propertyConfigureW = nullptr;
    decltype(&Log4cxxDOMConfigureA) domConfigureA = nullptr;
    decltype(&Log4cxxDOMConfigureW) domConfigureW = nullptr;
    decltype(&Log4cxxGetLoggerA) getLoggerA = nullptr;
    decltype(&Log4cxxGetLoggerW) getLoggerW = nullptr;
    decltype(&Log4cxxTraceA) traceA = nullptr;
    decltype(&Log4cxxTraceW) traceW = nullptr;
    decltype(&Log4cxxDebugA) debugA = nullptr;
    decltype(&Log4cxxDebugW) debugW = nullptr;
    decltype(&Log4cxxInfoA) infoA = nullptr;
    decltype(&Log4cxxInfoW) infoW = nullptr;
    decltype(&Log4cxxWarnA) warnA = nullptr;
    decltype(&Log4cxxWarnW) warnW = nullptr;
    decltype(&Log4cxxErrorA) errorA = nullptr;
    decltype(&Log4cxxErrorW) errorW = nullptr;
    decltype(&Log4cxxFatalA) fatalA = nullptr;
    decltype(&Log4cxxFatalW) fatalW = nullptr;

    // Loads the DLL from folder; names every missing export in missing.
    bool Load(const std::wstring& folder, std::string& missing)
    {
        module = LoadLibraryW((folder + L"\\Log4cxxWrapper.dll").c_str());
        if (module == nullptr)
        {
            missing = "Log4cxxWrapper.dll (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        Bind("Log4cxxBasicConfigure", basicConfigure, missing);
        Bind("Log4cxxPropertyConfigureA", propertyConfigureA, missing);
        Bind("Log4cxxPropertyConfigureW", propertyConfigureW, missing);
        Bind("Log4cxxDOMConfigureA", domConfigureA, missing);
        Bind("Log4cxxDOMConfigureW", domConfigureW, missing);
        Bind("Log4cxxGetLoggerA", getLoggerA, missing);
        Bind("Log4cxxGetLoggerW", getLoggerW, missing);
        Bind("Log4cxxTraceA", traceA, missing);
        Bind("Log4cxxTraceW", traceW, missing);
        Bind("Log4cxxDebugA", debugA, missing);
        Bind("Log4cxxDebugW", debugW, missing);
        Bind("Log4cxxInfoA", infoA, missing);
        Bind("Log4cxxInfoW", infoW, missing);
        Bind("Log4cxxWarnA", warnA, missing);
        Bind("Log4cxxWarnW", warnW, missing);
        Bind("Log4cxxErrorA", errorA, missing);
        Bind("Log4cxxErrorW", errorW, missing);
        Bind("Log4cxxFatalA", fatalA, missing);
        Bind("Log4cxxFatalW", fatalW, missing);
        return missing.empty();
    }

private:
    template <typename Fn> void Bind(const char* name, Fn& slot, std::string& missing)
    {
        slot = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
        if (slot == nullptr)
        {
            missing += std::string(missing.empty() ? "" : ", ") + name;
        }
    }
};
} // namespace logtest
