#include "Toasts.h"

#include "Journal.h"
#include "PlatformInterfaces.h"
#include "Popup.h"
#include "RuntimeObject.h"
#include "XmlDom.h"

#include <cwchar>
#include <map>
#include <mutex>
#include <new>
#include <set>
#include <vector>

namespace Platform
{
namespace
{

constexpr wchar_t kAumidKeyPrefix[] = L"SOFTWARE\\Classes\\AppUserModelId\\";
// Number of scheduled toasts each identifier starts with, for tests of their removal.
constexpr wchar_t kScheduledVariable[] = L"VWN_TOAST_SCHEDULED";
// What Windows answers a process without package identity that asks for the package's notifier.
const HRESULT kNoPackageIdentity = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
// Ticks of 100 ns in an hour: seeded scheduled toasts are due an hour after they are listed.
constexpr INT64 kHourTicks = 36000000000LL;
// E_BOUNDS, which MinGW's headers lack.
const HRESULT kOutOfBounds = static_cast<HRESULT>(0x8000000BL);

// This stand-in's own switches, for what Windows keeps where no test can reach it.
constexpr wchar_t kStandInKey[] = L"Software\\VoltwrenToastPlatform";

// A DWORD under HKCU; false when it is not there.
bool ReadUserDword(const std::wstring& keyName, const wchar_t* valueName, DWORD& value)
{
    DWORD size = sizeof(value);
    return RegGetValueW(HKEY_CURRENT_USER, keyName.c_str(), valueName, RRF_RT_REG_DWORD, nullptr, &value,
                        &size) == ERROR_SUCCESS;
}

// A DWORD under HKCU, or `fallback` when it is not there.
DWORD UserDword(const std::wstring& keyName, const wchar_t* valueName, DWORD fallback)
{
    DWORD value = 0;
    return ReadUserDword(keyName, valueName, value) ? value : fallback;
}

// The switches Windows reads, the widest scope first (as ToastNotifier.Setting reports them).
NotificationSetting SettingFor(const std::wstring& appId)
{
    if (UserDword(L"Software\\Policies\\Microsoft\\Windows\\CurrentVersion\\PushNotifications",
                  L"NoToastApplicationNotification", 0) == 1)
    {
        return NotificationSetting_DisabledByGroupPolicy;
    }
    if (UserDword(L"Software\\Microsoft\\Windows\\CurrentVersion\\PushNotifications", L"ToastEnabled", 1) ==
        0)
    {
        return NotificationSetting_DisabledForUser;
    }
    if (UserDword(L"Software\\Microsoft\\Windows\\CurrentVersion\\Notifications\\Settings\\" + appId,
                  L"Enabled", 1) == 0)
    {
        return NotificationSetting_DisabledForApplication;
    }
    return NotificationSetting_Enabled;
}

bool IsIdentityRegistered(const std::wstring& appId)
{
    const std::wstring keyName = kAumidKeyPrefix + appId;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyName.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return false;
    }
    RegCloseKey(key);
    return true;
}

std::wstring HresultText(HRESULT code)
{
    wchar_t text[16];
    std::swprintf(text, sizeof(text) / sizeof(text[0]), L"0x%08lX", static_cast<unsigned long>(code));
    return text;
}

template <typename Object, typename... Arguments> HRESULT CreateObject(Object** out, Arguments&&... arguments)
{
    *out = new (std::nothrow) Object(std::forward<Arguments>(arguments)...);
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// The seeded schedule: identifiers' entries removed so far in this process.
class Schedule
{
public:
    static Schedule& Instance()
    {
        static Schedule schedule;
        return schedule;
    }

    std::vector<std::wstring> Pending(const std::wstring& appId)
    {
        const unsigned seeded = SeededCount();
        std::lock_guard<std::mutex> hold(m_lock);
        const std::set<std::wstring>& removed = m_removed[appId];
        std::vector<std::wstring> pending;
        for (unsigned number = 1; number <= seeded; ++number)
        {
            std::wstring id = L"scheduled-" + std::to_wstring(number);
            if (removed.count(id) == 0)
            {
                pending.push_back(std::move(id));
            }
        }
        return pending;
    }

    bool Remove(const std::wstring& appId, const std::wstring& id)
    {
        const std::vector<std::wstring> pending = Pending(appId);
        bool found = false;
        for (const std::wstring& candidate : pending)
        {
            found = found || candidate == id;
        }
        if (!found)
        {
            return false;
        }
        std::lock_guard<std::mutex> hold(m_lock);
        m_removed[appId].insert(id);
        return true;
    }

private:
    static unsigned SeededCount()
    {
        wchar_t text[16] = {};
        const DWORD length =
            GetEnvironmentVariableW(kScheduledVariable, text, sizeof(text) / sizeof(text[0]));
        return length > 0 && length < sizeof(text) / sizeof(text[0]) ? std::wcstoul(text, nullptr, 10) : 0;
    }

    std::mutex m_lock;
    std::map<std::wstring, std::set<std::wstring>> m_removed;
};

class ScheduledToast final : public RuntimeObject<IScheduledToastNotification>
{
public:
    explicit ScheduledToast(std::wstring id) : m_id(std::move(id))
    {
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        m_deliveryTime = ((static_cast<INT64>(now.dwHighDateTime) << 32) | now.dwLowDateTime) + kHourTicks;
    }

    VWN_NOT_PROVIDED(IScheduledToastNotification, get_Content, (IXmlDocument**));
    HRESULT STDMETHODCALLTYPE get_DeliveryTime(DateTime* value) override
    {
        if (value == nullptr)
        {
            return E_POINTER;
        }
        value->UniversalTime = m_deliveryTime;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_SnoozeInterval(IInspectable** value) override
    {
        if (value == nullptr)
        {
            return E_POINTER;
        }
        // Not recurring: no interval.
        *value = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_MaximumSnoozeCount(UINT32* value) override
    {
        if (value == nullptr)
        {
            return E_POINTER;
        }
        *value = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_Id(HSTRING value) override
    {
        m_id = TextOf(value);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Id(HSTRING* value) override { return MakeHString(m_id, value); }

private:
    const wchar_t* RuntimeClassName() const override
    {
        return L"Windows.UI.Notifications.ScheduledToastNotification";
    }

    std::wstring m_id;
    INT64 m_deliveryTime = 0;
};

// A snapshot: removing entries from the schedule does not change a view already handed out.
class ScheduledToastView final : public RuntimeObject<IScheduledToastVectorView>
{
public:
    explicit ScheduledToastView(std::vector<ComRef<IScheduledToastNotification>> items)
        : m_items(std::move(items))
    {
    }

    HRESULT STDMETHODCALLTYPE GetAt(UINT32 index, IScheduledToastNotification** item) override
    {
        if (item == nullptr)
        {
            return E_POINTER;
        }
        *item = nullptr;
        if (index >= m_items.size())
        {
            return kOutOfBounds;
        }
        m_items[index].CopyTo(item);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Size(UINT32* size) override
    {
        if (size == nullptr)
        {
            return E_POINTER;
        }
        *size = static_cast<UINT32>(m_items.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IndexOf(IScheduledToastNotification* value, UINT32* index,
                                      boolean* found) override
    {
        if (index == nullptr || found == nullptr)
        {
            return E_POINTER;
        }
        *index = 0;
        *found = false;
        for (UINT32 position = 0; position < m_items.size(); ++position)
        {
            if (m_items[position].Get() == value)
            {
                *index = position;
                *found = true;
                break;
            }
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMany(UINT32 startIndex, UINT32 capacity, IScheduledToastNotification** items,
                                      UINT32* actual) override
    {
        if (actual == nullptr || (items == nullptr && capacity > 0))
        {
            return E_POINTER;
        }
        *actual = 0;
        if (startIndex > m_items.size())
        {
            return kOutOfBounds;
        }
        for (UINT32 position = startIndex; position < m_items.size() && *actual < capacity; ++position)
        {
            m_items[position].CopyTo(&items[(*actual)++]);
        }
        return S_OK;
    }

private:
    const wchar_t* RuntimeClassName() const override
    {
        return L"Windows.Foundation.Collections.IVectorView`1<Windows.UI.Notifications.ScheduledToastNotification>";
    }

    std::vector<ComRef<IScheduledToastNotification>> m_items;
};

class ToastNotification final : public RuntimeObject<IToastNotification>
{
public:
    explicit ToastNotification(IXmlDocument* content) : m_content(content) {}

    HRESULT STDMETHODCALLTYPE get_Content(IXmlDocument** value) override { return m_content.CopyTo(value); }
    HRESULT STDMETHODCALLTYPE put_ExpirationTime(IInspectable* value) override
    {
        m_expirationTime = ComRef<IInspectable>(value);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_ExpirationTime(IInspectable** value) override
    {
        return m_expirationTime.CopyTo(value);
    }
    // Nobody clicks or dismisses a toast here, so no event would ever be raised.
    VWN_NOT_PROVIDED(IToastNotification, add_Dismissed, (IUnknown*, EventRegistrationToken*));
    VWN_NOT_PROVIDED(IToastNotification, remove_Dismissed, (EventRegistrationToken));
    VWN_NOT_PROVIDED(IToastNotification, add_Activated, (IUnknown*, EventRegistrationToken*));
    VWN_NOT_PROVIDED(IToastNotification, remove_Activated, (EventRegistrationToken));
    VWN_NOT_PROVIDED(IToastNotification, add_Failed, (IUnknown*, EventRegistrationToken*));
    VWN_NOT_PROVIDED(IToastNotification, remove_Failed, (EventRegistrationToken));

private:
    const wchar_t* RuntimeClassName() const override { return L"Windows.UI.Notifications.ToastNotification"; }

    ComRef<IXmlDocument> m_content;
    ComRef<IInspectable> m_expirationTime;
};

class ToastNotifier final : public RuntimeObject<IToastNotifier>
{
public:
    explicit ToastNotifier(std::wstring appId) : m_appId(std::move(appId)) {}

    HRESULT STDMETHODCALLTYPE Show(IToastNotification* notification) override
    {
        if (notification == nullptr)
        {
            return E_POINTER;
        }
        ComRef<IXmlDocument> content;
        HRESULT hr = notification->get_Content(content.Put());
        if (FAILED(hr))
        {
            return hr;
        }
        std::wstring xml;
        hr = DocumentXml(content.Get(), xml);
        if (FAILED(hr))
        {
            return hr;
        }
        Sleep(ShowDelayMs());
        HRESULT refusal = S_OK;
        if (ShowRefusal(refusal))
        {
            AppendJournalRecord({L"ShowRefused", m_appId, HresultText(refusal), xml});
            return refusal;
        }
        // Windows' handling of an unregistered identity differs between versions: make it visible.
        const bool registered = IsIdentityRegistered(m_appId);
        AppendJournalRecord({L"Show", m_appId, registered ? L"registered=1" : L"registered=0", xml});
        ShowPopup(m_appId, xml);
        return S_OK;
    }
    VWN_NOT_PROVIDED(IToastNotifier, Hide, (IToastNotification*));
    HRESULT STDMETHODCALLTYPE get_Setting(NotificationSetting* value) override
    {
        if (value == nullptr)
        {
            return E_POINTER;
        }
        const DWORD failure = UserDword(kStandInKey, L"SettingFailure", 0);
        if (failure != 0)
        {
            return static_cast<HRESULT>(failure);
        }
        *value = SettingFor(m_appId);
        return S_OK;
    }
    VWN_NOT_PROVIDED(IToastNotifier, AddToSchedule, (IScheduledToastNotification*));
    HRESULT STDMETHODCALLTYPE RemoveFromSchedule(IScheduledToastNotification* scheduledToast) override
    {
        if (scheduledToast == nullptr)
        {
            return E_POINTER;
        }
        HSTRING idText = nullptr;
        const HRESULT hr = scheduledToast->get_Id(&idText);
        if (FAILED(hr))
        {
            return hr;
        }
        const std::wstring id = TextOf(idText);
        WindowsDeleteString(idText);
        if (!Schedule::Instance().Remove(m_appId, id))
        {
            DebugLine(
                L"[VoltwrenToastPlatform][IToastNotifier::RemoveFromSchedule] @@@@@ \"%ls\" is not scheduled for \"%ls\" !!! (output via OutputDebugString())\n",
                id.c_str(), m_appId.c_str());
            return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        }
        AppendJournalRecord({L"RemoveFromSchedule", m_appId, id});
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetScheduledToastNotifications(IScheduledToastVectorView** result) override
    {
        if (result == nullptr)
        {
            return E_POINTER;
        }
        *result = nullptr;
        AppendJournalRecord({L"GetScheduledToastNotifications", m_appId});
        std::vector<ComRef<IScheduledToastNotification>> items;
        for (const std::wstring& id : Schedule::Instance().Pending(m_appId))
        {
            ScheduledToast* toast = nullptr;
            const HRESULT hr = CreateObject(&toast, id);
            if (FAILED(hr))
            {
                return hr;
            }
            items.emplace_back(toast);
            toast->Release();
        }
        ScheduledToastView* view = nullptr;
        const HRESULT hr = CreateObject(&view, std::move(items));
        *result = view;
        return hr;
    }

private:
    const wchar_t* RuntimeClassName() const override { return L"Windows.UI.Notifications.ToastNotifier"; }

    std::wstring m_appId;
};

class ToastNotificationHistory final : public RuntimeObject<IToastNotificationHistory>
{
public:
    VWN_NOT_PROVIDED(IToastNotificationHistory, RemoveGroup, (HSTRING));
    VWN_NOT_PROVIDED(IToastNotificationHistory, RemoveGroupWithId, (HSTRING, HSTRING));
    VWN_NOT_PROVIDED(IToastNotificationHistory, RemoveGroupedTagWithId, (HSTRING, HSTRING, HSTRING));
    VWN_NOT_PROVIDED(IToastNotificationHistory, RemoveGroupedTag, (HSTRING, HSTRING));
    VWN_NOT_PROVIDED(IToastNotificationHistory, Remove, (HSTRING));
    HRESULT STDMETHODCALLTYPE Clear() override
    {
        // Without an identifier this clears the package's history; Wine runs no packages.
        return kNoPackageIdentity;
    }
    HRESULT STDMETHODCALLTYPE ClearWithId(HSTRING applicationId) override
    {
        AppendJournalRecord({L"ClearWithId", TextOf(applicationId)});
        return S_OK;
    }

private:
    const wchar_t* RuntimeClassName() const override
    {
        return L"Windows.UI.Notifications.ToastNotificationHistory";
    }
};

HRESULT CreateNotifierWithId(HSTRING applicationId, IToastNotifier** result)
{
    if (result == nullptr)
    {
        return E_POINTER;
    }
    *result = nullptr;
    const std::wstring appId = TextOf(applicationId);
    if (appId.empty())
    {
        return E_INVALIDARG;
    }
    ToastNotifier* notifier = nullptr;
    const HRESULT hr = CreateObject(&notifier, appId);
    *result = notifier;
    return hr;
}

HRESULT CreateHistory(IToastNotificationHistory** value)
{
    if (value == nullptr)
    {
        return E_POINTER;
    }
    ToastNotificationHistory* history = nullptr;
    const HRESULT hr = CreateObject(&history);
    *value = history;
    return hr;
}

// The current user's manager. Its notification mode comes from the stand-in's
// "NotificationMode" value; without that value it is the manager of a Windows
// that has no such mode, and does not answer IToastNotificationManagerForUser3.
class ToastNotificationManagerForUser final
    : public RuntimeObject<IToastNotificationManagerForUser, IToastNotificationManagerForUser3>
{
public:
    HRESULT STDMETHODCALLTYPE CreateToastNotifier(IToastNotifier** result) override
    {
        return NothingMade(result, kNoPackageIdentity);
    }
    HRESULT STDMETHODCALLTYPE CreateToastNotifierWithId(HSTRING applicationId,
                                                        IToastNotifier** result) override
    {
        return CreateNotifierWithId(applicationId, result);
    }
    HRESULT STDMETHODCALLTYPE get_History(IToastNotificationHistory** value) override
    {
        return CreateHistory(value);
    }
    VWN_NOT_PROVIDED(IToastNotificationManagerForUser, get_User, (IInspectable**));
    HRESULT STDMETHODCALLTYPE get_NotificationMode(ToastNotificationMode* value) override
    {
        if (value == nullptr)
        {
            return E_POINTER;
        }
        DWORD mode = ToastNotificationMode_Unrestricted;
        ReadUserDword(kStandInKey, L"NotificationMode", mode);
        *value = static_cast<ToastNotificationMode>(mode);
        return S_OK;
    }
    VWN_NOT_PROVIDED(IToastNotificationManagerForUser3, add_NotificationModeChanged,
                     (IUnknown*, EventRegistrationToken*));
    VWN_NOT_PROVIDED(IToastNotificationManagerForUser3, remove_NotificationModeChanged,
                     (EventRegistrationToken));

private:
    const wchar_t* RuntimeClassName() const override
    {
        return L"Windows.UI.Notifications.ToastNotificationManagerForUser";
    }
    bool Answers(REFIID iid) const override
    {
        DWORD mode = 0;
        return iid != __uuidof(IToastNotificationManagerForUser3) ||
               ReadUserDword(kStandInKey, L"NotificationMode", mode);
    }
};

class XmlDocumentFactoryObject final : public RuntimeObject<IActivationFactory>
{
public:
    HRESULT STDMETHODCALLTYPE ActivateInstance(IInspectable** instance) override
    {
        return CreateXmlDocument(instance);
    }

private:
    const wchar_t* RuntimeClassName() const override { return L"Windows.Data.Xml.Dom.XmlDocument"; }
};

class ToastNotificationFactoryObject final
    : public RuntimeObject<IActivationFactory, IToastNotificationFactory>
{
public:
    HRESULT STDMETHODCALLTYPE ActivateInstance(IInspectable** instance) override
    {
        // A toast is only ever made from a document.
        return NothingMade(instance, E_NOTIMPL);
    }
    HRESULT STDMETHODCALLTYPE CreateToastNotification(IXmlDocument* content,
                                                      IToastNotification** value) override
    {
        if (value == nullptr)
        {
            return E_POINTER;
        }
        *value = nullptr;
        if (content == nullptr)
        {
            return E_INVALIDARG;
        }
        ToastNotification* toast = nullptr;
        const HRESULT hr = CreateObject(&toast, content);
        *value = toast;
        return hr;
    }

private:
    const wchar_t* RuntimeClassName() const override { return L"Windows.UI.Notifications.ToastNotification"; }
};

class ToastNotificationManagerObject final
    : public RuntimeObject<IActivationFactory, IToastNotificationManagerStatics,
                           IToastNotificationManagerStatics2, IToastNotificationManagerStatics5>
{
public:
    HRESULT STDMETHODCALLTYPE ActivateInstance(IInspectable** instance) override
    {
        // A static class: there are no instances.
        return NothingMade(instance, E_NOTIMPL);
    }
    HRESULT STDMETHODCALLTYPE CreateToastNotifier(IToastNotifier** result) override
    {
        return NothingMade(result, kNoPackageIdentity);
    }
    HRESULT STDMETHODCALLTYPE CreateToastNotifierWithId(HSTRING applicationId,
                                                        IToastNotifier** result) override
    {
        return CreateNotifierWithId(applicationId, result);
    }
    VWN_NOT_PROVIDED(IToastNotificationManagerStatics, GetTemplateContent, (INT32, IXmlDocument**));
    HRESULT STDMETHODCALLTYPE get_History(IToastNotificationHistory** value) override
    {
        return CreateHistory(value);
    }
    HRESULT STDMETHODCALLTYPE GetDefault(IToastNotificationManagerForUser** result) override
    {
        if (result == nullptr)
        {
            return E_POINTER;
        }
        ToastNotificationManagerForUser* manager = nullptr;
        const HRESULT hr = CreateObject(&manager);
        *result = manager;
        return hr;
    }

private:
    const wchar_t* RuntimeClassName() const override
    {
        return L"Windows.UI.Notifications.ToastNotificationManager";
    }
};

} // namespace

// Made once and kept: their single reference is never given back.
IActivationFactory* XmlDocumentFactory()
{
    static IActivationFactory* const factory = new XmlDocumentFactoryObject();
    return factory;
}

IActivationFactory* ToastNotificationFactory()
{
    static IActivationFactory* const factory = new ToastNotificationFactoryObject();
    return factory;
}

IActivationFactory* ToastNotificationManagerFactory()
{
    static IActivationFactory* const factory = new ToastNotificationManagerObject();
    return factory;
}

} // namespace Platform
