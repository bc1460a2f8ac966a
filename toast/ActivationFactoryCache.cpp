#include "toast/ActivationFactoryCache.h"

#include "toast/ComPtr.h"

ActivationFactoryCache::~ActivationFactoryCache()
{
    for (const Entry& entry : m_entries)
    {
        entry.factory->Release();
    }
}

IUnknown* ActivationFactoryCache::FindLocked(const wchar_t* className, REFIID iid) const
{
    for (const Entry& entry : m_entries)
    {
        if (IsEqualIID(entry.iid, iid) && entry.className == className)
        {
            entry.factory->AddRef();
            return entry.factory;
        }
    }
    return nullptr;
}

HRESULT ActivationFactoryCache::Get(const wchar_t* className, REFIID iid, void** factory)
{
    *factory = nullptr;
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        if (IUnknown* kept = FindLocked(className, iid))
        {
            *factory = kept;
            return S_OK;
        }
    }

    // Fetched outside the lock: the platform's code never runs under it. Threads
    // that race here each fetch; the first to return keeps its factory.
    void* fetched = nullptr;
    const HRESULT result = m_fetch(className, iid, &fetched);
    if (FAILED(result))
    {
        return result;
    }
    if (fetched == nullptr)
    {
        return E_POINTER;
    }
    // Declared before the lock, so a duplicate is released after the lock is given back.
    const ComPtr<IUnknown> created = ComPtr<IUnknown>::Attach(static_cast<IUnknown*>(fetched));

    const std::lock_guard<std::mutex> lock(m_lock);
    IUnknown* kept = FindLocked(className, iid);
    if (kept == nullptr)
    {
        m_entries.push_back(Entry{className, iid, created.Get()});
        kept = created.Get();
        kept->AddRef(); // the cache's reference
        kept->AddRef(); // the caller's; the fetched one goes with `created`
    }
    *factory = kept;
    return S_OK;
}
