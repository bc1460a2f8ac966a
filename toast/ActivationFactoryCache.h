#pragma once

#include <windows.h>
#include <unknwn.h>

#include <mutex>
#include <string>
#include <vector>

// Keeps each activation factory, by class name and interface, once fetched.
// Every toast needs three factories, and a fetch can cost more than the
// factory's use: Wine's RoGetActivationFactory leaks a handle per call.
// Factories are agile, so one kept reference serves every thread.
class ActivationFactoryCache
{
public:
    // Fetches a factory with a reference for the caller, as RoGetActivationFactory does.
    using Fetch = HRESULT (*)(const wchar_t* className, REFIID iid, void** factory);

    explicit ActivationFactoryCache(Fetch fetch) : m_fetch(fetch) {}
    // Releases every kept factory; the process-wide cache is never destroyed.
    ~ActivationFactoryCache();
    ActivationFactoryCache(const ActivationFactoryCache&) = delete;
    ActivationFactoryCache& operator=(const ActivationFactoryCache&) = delete;

    // Hands out the kept factory with a reference of the caller's own, fetching it
    // on first use. A failed fetch is not kept: the next call asks again.
    HRESULT Get(const wchar_t* className, REFIID iid, void** factory);

private:
    struct Entry
    {
        std::wstring className;
        IID iid;
        IUnknown* factory;
    };

    // Under m_lock: the kept factory with a new reference, or null.
    IUnknown* FindLocked(const wchar_t* className, REFIID iid) const;

    const Fetch m_fetch;
    mutable std::mutex m_lock;
    std::vector<Entry> m_entries;
};
