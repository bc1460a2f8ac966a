#include "toast/ToastNotification.h"

#include "toast/NotifierIdentity.h"
#include "toast/WinRtAbi.h"
#include "toast/WinRtSupport.h"

#include "logging/ApacheLogger.h"
#include "logging/EventReports.h"

#include <atomic>

namespace
{

// One line; the runs of blanks between the elements belong to the template.
constexpr wchar_t kToastTemplate[] =
    L"<toast>        <visual>            <binding template=\"ToastGeneric\">"
    L"                <text></text>                <text></text>"
    L"                <image placement=\"appLogoOverride\" hint-crop=\"circle\"/>"
    L"            </binding>        </visual>    </toast>";
static_assert(sizeof(kToastTemplate) / sizeof(kToastTemplate[0]) - 1 == 248,
              "the toast template is 248 characters");

constexpr wchar_t kTitleSelector[] = L"//text[1]";
constexpr wchar_t kBodySelector[] = L"//text[2]";
constexpr wchar_t kImageSelector[] = L"//image[1]";
constexpr wchar_t kImageSourceAttribute[] = L"src";

ComPtr<WinRtAbi::IXmlNode> SelectNode(const ComPtr<WinRtAbi::IXmlNodeSelector>& selector,
                                      const wchar_t* xpath)
{
    ComPtr<WinRtAbi::IXmlNode> node;
    ThrowIfFailed(selector->SelectSingleNode(HString(xpath).Get(), node.Put()));
    return RequireObject(node);
}

// As inner text, "<" and "&" stay characters and never become markup.
void SetInnerText(const ComPtr<WinRtAbi::IXmlNodeSelector>& selector, const wchar_t* xpath,
                  const std::wstring& text)
{
    const auto serializer = SelectNode(selector, xpath).As<WinRtAbi::IXmlNodeSerializer>();
    ThrowIfFailed(serializer->put_InnerText(HString(text).Get()));
}

std::atomic<UserNotificationStateQuery> g_userNotificationStateQuery{nullptr};

struct NamedValue
{
    int value;
    const wchar_t* name;
};

// nullptr for a value the list does not hold.
template <size_t N> const wchar_t* NameIn(const NamedValue (&names)[N], int value)
{
    for (const NamedValue& named : names)
    {
        if (named.value == value)
        {
            return named.name;
        }
    }
    return nullptr;
}

// A value newer than the list is named by its number.
template <size_t N> std::wstring NameOrNumber(const NamedValue (&names)[N], int value)
{
    const wchar_t* name = NameIn(names, value);
    return name ? std::wstring(name) : std::to_wstring(value);
}

constexpr NamedValue kBlockingSettings[] = {
    {WinRtAbi::NotificationSetting_DisabledForApplication, L"DisabledForApplication"},
    {WinRtAbi::NotificationSetting_DisabledForUser, L"DisabledForUser"},
    {WinRtAbi::NotificationSetting_DisabledByGroupPolicy, L"DisabledByGroupPolicy"},
    {WinRtAbi::NotificationSetting_DisabledByManifest, L"DisabledByManifest"},
};

// The states in which a toast goes to the notification centre without a banner.
constexpr NamedValue kBusyStates[] = {
    {QUNS_NOT_PRESENT, L"QUNS_NOT_PRESENT"},
    {QUNS_BUSY, L"QUNS_BUSY"},
    {QUNS_RUNNING_D3D_FULL_SCREEN, L"QUNS_RUNNING_D3D_FULL_SCREEN"},
    {QUNS_PRESENTATION_MODE, L"QUNS_PRESENTATION_MODE"},
    {QUNS_QUIET_TIME, L"QUNS_QUIET_TIME"},
};

constexpr NamedValue kQuietModes[] = {
    {WinRtAbi::ToastNotificationMode_PriorityOnly, L"PriorityOnly"},
    {WinRtAbi::ToastNotificationMode_AlarmsOnly, L"AlarmsOnly"},
};

std::atomic<bool> g_settingFailureLogged{false};

// Show succeeds all the same when Windows will not display the toast: the log says why.
void LogBlockingSetting(const ComPtr<WinRtAbi::IToastNotifier>& notifier)
{
    WinRtAbi::NotificationSetting setting = WinRtAbi::NotificationSetting_Enabled;
    const HRESULT hr = notifier->get_Setting(&setting);
    if (FAILED(hr))
    {
        // Once: a notifier that cannot tell would fill the log at every toast.
        if (!g_settingFailureLogged.exchange(true))
        {
            VWN_LOGW(
                L"[Voltwren][ShowToastNotification] @@@@@ Unable to read the NotificationSetting, HRESULT(0x%08lX) !!! @@@@@",
                static_cast<unsigned long>(hr));
        }
        return;
    }
    if (setting == WinRtAbi::NotificationSetting_Enabled)
    {
        ForgetEventCondition(VoltwrenEvent::kToastsOff);
        return;
    }
    const std::wstring name = NameOrNumber(kBlockingSettings, setting);
    VWN_LOGW(L"[Voltwren][ShowToastNotification] The toast will not be shown: NotificationSetting %ws.",
             name.c_str());
    ReportToEventLog(VoltwrenEvent::kToastsOff, {L"NotificationSetting " + name});
}

// Windows 11's Do Not Disturb and alarms-only modes keep toasts off the screen
// whatever the setting says. Older Windows has no such mode: nothing to say there.
void LogNotificationMode()
{
    try
    {
        const auto statics = GetActivationFactory<WinRtAbi::IToastNotificationManagerStatics5>(
            WinRtAbi::kToastNotificationManagerClass);
        ComPtr<WinRtAbi::IToastNotificationManagerForUser> manager;
        ThrowIfFailed(statics->GetDefault(manager.Put()));
        const auto modes = RequireObject(manager).As<WinRtAbi::IToastNotificationManagerForUser3>();
        WinRtAbi::ToastNotificationMode mode = WinRtAbi::ToastNotificationMode_Unrestricted;
        ThrowIfFailed(modes->get_NotificationMode(&mode));
        if (mode != WinRtAbi::ToastNotificationMode_Unrestricted)
        {
            VWN_LOGW(
                L"[Voltwren][ShowToastNotification] Windows may hold the toast back: NotificationMode %ws.",
                NameOrNumber(kQuietModes, mode).c_str());
        }
    }
    catch (const WinRtError&)
    {
        // No such mode on this Windows, or none to be read: nothing to say.
    }
}

void LogBusyUser()
{
    const UserNotificationStateQuery query = g_userNotificationStateQuery.load();
    QUERY_USER_NOTIFICATION_STATE state = QUNS_ACCEPTS_NOTIFICATIONS;
    const HRESULT hr = query != nullptr ? query(&state) : SHQueryUserNotificationState(&state);
    const wchar_t* name = SUCCEEDED(hr) ? NameIn(kBusyStates, state) : nullptr;
    if (name != nullptr)
    {
        VWN_LOGW(
            L"[Voltwren][ShowToastNotification] The toast is shown to the notification centre only: %ws.",
            name);
    }
}

} // namespace

void SetUserNotificationStateQuery(UserNotificationStateQuery query)
{
    g_userNotificationStateQuery.store(query);
}

void ShowToastNotification(const std::wstring& title, const std::wstring& body, const std::wstring& imagePath)
{
    const auto document = ActivateInstance<WinRtAbi::IXmlDocument>(WinRtAbi::kXmlDocumentClass);
    ThrowIfFailed(document.As<WinRtAbi::IXmlDocumentIO>()->LoadXml(HString(kToastTemplate).Get()));

    const auto selector = document.As<WinRtAbi::IXmlNodeSelector>();
    SetInnerText(selector, kTitleSelector, title);
    SetInnerText(selector, kBodySelector, body);
    // A plain path, handed over unchanged: the platform reads the file when it draws the toast.
    const auto image = SelectNode(selector, kImageSelector).As<WinRtAbi::IXmlElement>();
    ThrowIfFailed(image->SetAttribute(HString(kImageSourceAttribute).Get(), HString(imagePath).Get()));

    const auto factory =
        GetActivationFactory<WinRtAbi::IToastNotificationFactory>(WinRtAbi::kToastNotificationClass);
    ComPtr<WinRtAbi::IToastNotification> toast;
    ThrowIfFailed(factory->CreateToastNotification(document.Get(), toast.Put()));
    RequireObject(toast);

    const ComPtr<WinRtAbi::IToastNotifier> notifier = NotifierIdentity::CreateNotifier();
    LogBlockingSetting(notifier);
    LogNotificationMode();
    LogBusyUser();
    ThrowIfFailed(notifier->Show(toast.Get()));
}
