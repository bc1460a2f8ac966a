#pragma once

#include "log4cxx_wrapper.h"

#include <windows.h>

#include <string>

// Every export, by its plain name.
// clang-format off
#define LOGTEST_EXPORTS(X) \
    X(BasicConfigure) \
    X(PropertyConfigureA) \
    X(PropertyConfigureW) \
    X(DOMConfigureA) \
    X(DOMConfigureW) \
    X(GetLoggerA) \
    X(GetLoggerW) \
    X(TraceA) \
    X(TraceW) \
    X(DebugA) \
    X(DebugW) \
    X(InfoA) \
    X(InfoW) \
    X(WarnA) \
    X(WarnW) \
    X(ErrorA) \
    X(ErrorW) \
    X(FatalA) \
    X(FatalW)
// clang-format on

namespace logtest
{
// Log4cxxWrapper.dll bound by its export names, as the program binds it.
struct DllApi
{
    HMODULE module = nullptr;
#define LOGTEST_SLOT(name) decltype(&Log4cxx##name) name = nullptr;
    LOGTEST_EXPORTS(LOGTEST_SLOT)
#undef LOGTEST_SLOT

    // Loads the DLL from folder (with a trailing backslash); names every missing export in missing.
    bool Load(const std::wstring& folder, std::string& missing)
    {
        module = LoadLibraryW((folder + L"Log4cxxWrapper.dll").c_str());
        if (module == nullptr)
        {
            missing = "Log4cxxWrapper.dll (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
#define LOGTEST_BIND(name) Bind("Log4cxx" #name, name, missing);
        LOGTEST_EXPORTS(LOGTEST_BIND)
#undef LOGTEST_BIND
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
