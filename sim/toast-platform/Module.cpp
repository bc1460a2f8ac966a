// Entry points of the stand-in toast platform: combase loads this DLL for the
// class names registered under ActivatableClassId and asks it for factories.

#include "Journal.h"
#include "RuntimeObject.h"
#include "Toasts.h"

#include <windows.h>
#include <activation.h>
#include <objbase.h>

namespace Platform
{

HRESULT NotProvided(const wchar_t* method)
{
    DebugLine(
        L"[VoltwrenToastPlatform][%ls] @@@@@ Not provided by the stand-in toast platform !!! (output via OutputDebugString())\n",
        method);
    return E_NOTIMPL;
}

} // namespace Platform

extern "C" HRESULT WINAPI DllGetActivationFactory(HSTRING classId, IActivationFactory** factory)
{
    if (factory == nullptr)
    {
        return E_POINTER;
    }
    *factory = nullptr;

    // Windows refuses activation on a thread outside every apartment of a
    // process without a multithreaded one; Wine's combase does not check, so
    // the stand-in does, and callers meet the error they would meet there.
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    if (CoGetApartmentType(&type, &qualifier) == CO_E_NOTINITIALIZED)
    {
        return CO_E_NOTINITIALIZED;
    }

    const std::wstring name = Platform::TextOf(classId);
    IActivationFactory* found = nullptr;
    if (name == L"Windows.Data.Xml.Dom.XmlDocument")
    {
        found = Platform::XmlDocumentFactory();
    }
    else if (name == L"Windows.UI.Notifications.ToastNotification")
    {
        found = Platform::ToastNotificationFactory();
    }
    else if (name == L"Windows.UI.Notifications.ToastNotificationManager")
    {
        found = Platform::ToastNotificationManagerFactory();
    }
    if (found == nullptr)
    {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    found->AddRef();
    *factory = found;
    return S_OK;
}

// Objects handed out may outlive every reference combase counts; stay loaded.
extern "C" HRESULT WINAPI DllCanUnloadNow()
{
    return S_FALSE;
}
