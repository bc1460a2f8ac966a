#pragma once

#include <windows.h>
#include <inspectable.h>
#include <objidl.h>
#include <winstring.h>

#include <atomic>
#include <string>
#include <utility>

namespace Platform
{

// One owned reference; never raises (this side answers HRESULTs only).
template <typename T> class ComRef
{
public:
    ComRef() = default;
    explicit ComRef(T* pointer) : m_ptr(pointer)
    {
        if (m_ptr != nullptr)
        {
            m_ptr->AddRef();
        }
    }
    ComRef(const ComRef& other) : ComRef(other.m_ptr) {}
    ComRef(ComRef&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    ~ComRef() { Reset(); }
    ComRef& operator=(ComRef other) noexcept
    {
        std::swap(m_ptr, other.m_ptr);
        return *this;
    }

    T* Get() const { return m_ptr; }
    T* operator->() const { return m_ptr; }
    explicit operator bool() const { return m_ptr != nullptr; }
    T** Put()
    {
        Reset();
        return &m_ptr;
    }
    void Reset()
    {
        if (m_ptr != nullptr)
        {
            std::exchange(m_ptr, nullptr)->Release();
        }
    }
    // Hands the reference to an out parameter (E_POINTER for none).
    HRESULT CopyTo(T** out) const
    {
        if (out == nullptr)
        {
            return E_POINTER;
        }
        *out = m_ptr;
        if (m_ptr != nullptr)
        {
            m_ptr->AddRef();
        }
        return S_OK;
    }
    template <typename U> HRESULT As(ComRef<U>& out) const
    {
        return m_ptr == nullptr ? E_POINTER
                                : m_ptr->QueryInterface(__uuidof(U), reinterpret_cast<void**>(out.Put()));
    }

private:
    T* m_ptr = nullptr;
};

// Text of an HSTRING the caller passed in (null reads as empty).
inline std::wstring TextOf(HSTRING string)
{
    UINT32 length = 0;
    const wchar_t* buffer = WindowsGetStringRawBuffer(string, &length);
    return std::wstring(buffer, length);
}

inline HRESULT MakeHString(const std::wstring& text, HSTRING* out)
{
    if (out == nullptr)
    {
        return E_POINTER;
    }
    return WindowsCreateString(text.c_str(), static_cast<UINT32>(text.size()), out);
}

// A call that makes nothing: the out pointer, where there is one, is cleared and hr returned.
template <typename T> HRESULT NothingMade(T** out, HRESULT hr)
{
    if (out != nullptr)
    {
        *out = nullptr;
    }
    return hr;
}

// Methods a toast program never calls answer E_NOTIMPL, with a line for the debugger.
HRESULT NotProvided(const wchar_t* method);

// Defines such a method in a class body: VWN_NOT_PROVIDED(IXmlNode, Normalize, ());
#define VWN_NOT_PROVIDED(Interface, Method, Parameters)                                                      \
    HRESULT STDMETHODCALLTYPE Method Parameters override                                                     \
    {                                                                                                        \
        return NotProvided(L"" #Interface "::" #Method);                                                     \
    }

// IUnknown and IInspectable for a runtime object implementing `Interfaces`;
// the first one stands for the object's identity. Agile, like the classes it
// stands in for; created with one reference, deleted at zero.
template <typename First, typename... Others> class RuntimeObject : public First, public Others...
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override
    {
        if (result == nullptr)
        {
            return E_POINTER;
        }
        *result = nullptr;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IInspectable) || iid == __uuidof(IAgileObject) ||
            iid == __uuidof(First))
        {
            *result = static_cast<First*>(this);
        }
        else
        {
            (void)((iid == __uuidof(Others) ? (*result = static_cast<Others*>(this), true) : false) || ...);
        }
        if (*result == nullptr || !Answers(iid))
        {
            *result = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG refs = --m_refs;
        if (refs == 0)
        {
            delete this;
        }
        return refs;
    }
    HRESULT STDMETHODCALLTYPE GetIids(ULONG* count, IID** iids) override
    {
        if (count == nullptr || iids == nullptr)
        {
            return E_POINTER;
        }
        const IID all[] = {__uuidof(First), __uuidof(Others)...};
        *iids = static_cast<IID*>(CoTaskMemAlloc(sizeof(all)));
        if (*iids == nullptr)
        {
            *count = 0;
            return E_OUTOFMEMORY;
        }
        *count = 0;
        for (const IID& iid : all)
        {
            if (Answers(iid))
            {
                (*iids)[(*count)++] = iid;
            }
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING* className) override
    {
        return MakeHString(RuntimeClassName(), className);
    }
    HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel* level) override
    {
        if (level == nullptr)
        {
            return E_POINTER;
        }
        *level = BaseTrust;
        return S_OK;
    }

    IInspectable* AsInspectable() { return static_cast<First*>(this); }

protected:
    RuntimeObject() = default;
    virtual ~RuntimeObject() = default;
    RuntimeObject(const RuntimeObject&) = delete;
    RuntimeObject& operator=(const RuntimeObject&) = delete;

    virtual const wchar_t* RuntimeClassName() const = 0;
    // Lets an object refuse one of its declared interfaces (a node that is no element).
    virtual bool Answers(REFIID) const { return true; }

private:
    std::atomic<ULONG> m_refs{1};
};

} // namespace Platform
