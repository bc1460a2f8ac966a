#include "toast/WinRtSupport.h"

#include "logging/DebuggerLine.h"
#include "toast/ActivationFactoryCache.h"

#include <objbase.h>
#include <roapi.h>

HString::HString(const std::wstring& text)
{
    ThrowIfFailed(WindowsCreateString(text.c_str(), static_cast<UINT32>(text.size()), &m_string));
}

HString::~HString()
{
    WindowsDeleteString(m_string);
}

namespace
{

using CoIncrementMTAUsageFunction = HRESULT(WINAPI*)(CO_MTA_USAGE_COOKIE* cookie);

// Looked up at run time: not every import library of ole32 has it (32-bit MinGW lacks it).
HRESULT IncrementMtaUsage(CO_MTA_USAGE_COOKIE* cookie)
{
    const HMODULE combase = LoadLibraryExW(L"combase.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    const FARPROC procedure = combase != nullptr ? GetProcAddress(combase, "CoIncrementMTAUsage") : nullptr;
    if (procedure == nullptr)
    {
        return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }
    return reinterpret_cast<CoIncrementMTAUsageFunction>(reinterpret_cast<void*>(procedure))(cookie);
}

// Once per process; the cookie is never given back: the apartment must outlive
// every runtime object, the kept factories included.
void HoldMultithreadedApartment()
{
    static const HRESULT usage = []
    {
        CO_MTA_USAGE_COOKIE cookie = nullptr;
        const HRESULT result = IncrementMtaUsage(&cookie);
        if (FAILED(result))
        {
            DebuggerLine(
                L"[Voltwren][GetActivationFactory] @@@@@ CoIncrementMTAUsage failed (0x%08lX) !!! (output via OutputDebugString())\n",
                static_cast<unsigned long>(result));
        }
        return result;
    }();
    static_cast<void>(usage);
}

// A thread outside every apartment of a process without a multithreaded one
// gets CO_E_NOTINITIALIZED: the process then keeps one and asks once more.
HRESULT FetchActivationFactory(const wchar_t* className, REFIID iid, void** factory)
{
    const HString name(className);
    HRESULT result = RoGetActivationFactory(name.Get(), iid, factory);
    if (result == CO_E_NOTINITIALIZED)
    {
        HoldMultithreadedApartment();
        result = RoGetActivationFactory(name.Get(), iid, factory);
    }
    if (SUCCEEDED(result))
    {
        HoldMultithreadedApartment();
    }
    return result;
}

// Never destroyed: a Release during exit can reach a runtime or a platform DLL
// that has already shut down. The end of the process reclaims the factories.
ActivationFactoryCache& ProcessFactories()
{
    static ActivationFactoryCache* const cache = new ActivationFactoryCache(FetchActivationFactory);
    return *cache;
}

} // namespace

void GetActivationFactory(const wchar_t* className, REFIID iid, void** factory)
{
    ThrowIfFailed(ProcessFactories().Get(className, iid, factory));
}
