#pragma once

#include "toast/ComPtr.h"
#include "toast/WinRtError.h"

#include <windows.h>
#include <activation.h>
#include <winstring.h>

#include <string>

// An HSTRING made by WindowsCreateString, deleted with the object.
class HString
{
public:
    // Raises WinRtError when the string cannot be made.
    explicit HString(const std::wstring& text);
    explicit HString(const wchar_t* text) : HString(std::wstring(text)) {}
    ~HString();
    HString(const HString&) = delete;
    HString& operator=(const HString&) = delete;

    // Null for an empty text, which the runtime reads as "".
    HSTRING Get() const { return m_string; }

private:
    HSTRING m_string = nullptr;
};

// A runtime class's activation factory, fetched on first use and kept for the
// rest of the process. A thread outside every apartment of a process without a
// multithreaded one gets CO_E_NOTINITIALIZED: then the process keeps a
// multithreaded apartment for good and asks once more. Raises WinRtError with
// the final code; a failure is not kept.
void GetActivationFactory(const wchar_t* className, REFIID iid, void** factory);

template <typename T> ComPtr<T> GetActivationFactory(const wchar_t* className)
{
    ComPtr<T> factory;
    GetActivationFactory(className, __uuidof(T), factory.PutVoid());
    return factory;
}

// A new instance of a runtime class through its default constructor, as T.
template <typename T> ComPtr<T> ActivateInstance(const wchar_t* className)
{
    const ComPtr<IActivationFactory> factory = GetActivationFactory<IActivationFactory>(className);
    ComPtr<IInspectable> instance;
    ThrowIfFailed(factory->ActivateInstance(instance.Put()));
    return instance.template As<T>();
}

// Runtime calls may answer S_OK with no object; using it would crash.
template <typename T> const ComPtr<T>& RequireObject(const ComPtr<T>& object)
{
    if (!object)
    {
        throw WinRtError(E_POINTER);
    }
    return object;
}
