#include "toast/ToastActivator.h"

#include <objbase.h>
#include <objidl.h>

#include <new>

namespace
{

// Answers IMarshal through the system's free-threaded marshaler, aggregated
// by `outer`. The marshaler's inner object must live as long as `outer`,
// because the IMarshal it hands out counts on `outer` and not on itself.
HRESULT QueryFreeThreadedMarshaler(IUnknown* outer, std::atomic<IUnknown*>& marshaler, void** result)
{
    IUnknown* inner = marshaler.load();
    if (inner == nullptr)
    {
        IUnknown* created = nullptr;
        const HRESULT hr = CoCreateFreeThreadedMarshaler(outer, &created);
        if (FAILED(hr))
        {
            return hr;
        }
        if (marshaler.compare_exchange_strong(inner, created))
        {
            inner = created;
        }
        else
        {
            // Another thread won the race; `inner` now holds its marshaler.
            created->Release();
        }
    }
    return inner->QueryInterface(__uuidof(IMarshal), result);
}

void ReleaseMarshaler(std::atomic<IUnknown*>& marshaler)
{
    if (IUnknown* inner = marshaler.exchange(nullptr))
    {
        inner->Release();
    }
}

// QueryInterface shared by both classes: `self` is the object's IUnknown and
// its own interface at once (single inheritance).
template <typename Own>
HRESULT QueryAgileObject(Own* self, std::atomic<IUnknown*>& marshaler, REFIID iid, void** result)
{
    if (result == nullptr)
    {
        return E_POINTER;
    }
    *result = nullptr;
    if (iid == __uuidof(IUnknown) || iid == __uuidof(Own) || iid == __uuidof(IAgileObject))
    {
        *result = self;
        self->AddRef();
        return S_OK;
    }
    if (iid == __uuidof(IMarshal))
    {
        const HRESULT hr = QueryFreeThreadedMarshaler(self, marshaler, result);
        if (FAILED(hr))
        {
            *result = nullptr;
        }
        return hr;
    }
    return E_NOINTERFACE;
}

} // namespace

ToastActivatorFactory::~ToastActivatorFactory()
{
    ReleaseMarshaler(m_marshaler);
}

HRESULT STDMETHODCALLTYPE ToastActivatorFactory::QueryInterface(REFIID iid, void** result)
{
    return QueryAgileObject<IClassFactory>(this, m_marshaler, iid, result);
}

ULONG STDMETHODCALLTYPE ToastActivatorFactory::AddRef()
{
    return ++m_refs;
}

ULONG STDMETHODCALLTYPE ToastActivatorFactory::Release()
{
    const ULONG refs = --m_refs;
    if (refs == 0)
    {
        delete this;
    }
    return refs;
}

HRESULT STDMETHODCALLTYPE ToastActivatorFactory::CreateInstance(IUnknown* outer, REFIID iid, void** result)
{
    if (result == nullptr)
    {
        return E_POINTER;
    }
    *result = nullptr;
    if (outer != nullptr)
    {
        return CLASS_E_NOAGGREGATION;
    }
    ToastActivator* created = new (std::nothrow) ToastActivator();
    if (created == nullptr)
    {
        return E_OUTOFMEMORY;
    }
    // On a refused interface this release destroys the new object at once.
    const HRESULT hr = created->QueryInterface(iid, result);
    created->Release();
    return hr;
}

HRESULT STDMETHODCALLTYPE ToastActivatorFactory::LockServer(BOOL)
{
    // The class object lives until the process ends, so there is nothing to keep alive.
    return S_OK;
}

ToastActivator::~ToastActivator()
{
    ReleaseMarshaler(m_marshaler);
}

HRESULT STDMETHODCALLTYPE ToastActivator::QueryInterface(REFIID iid, void** result)
{
    return QueryAgileObject<WinRtAbi::INotificationActivationCallback>(this, m_marshaler, iid, result);
}

ULONG STDMETHODCALLTYPE ToastActivator::AddRef()
{
    return ++m_refs;
}

ULONG STDMETHODCALLTYPE ToastActivator::Release()
{
    const ULONG refs = --m_refs;
    if (refs == 0)
    {
        delete this;
    }
    return refs;
}

HRESULT STDMETHODCALLTYPE ToastActivator::Activate(LPCWSTR, LPCWSTR,
                                                   const WinRtAbi::NOTIFICATION_USER_INPUT_DATA*, ULONG)
{
    // A click on a toast needs no action beyond starting the program, which COM has done.
    return S_OK;
}
