#pragma once

// Our own declarations of the few Windows Runtime interfaces behind toasts,
// at the ABI level (MinGW ships none of them). Every interface lists its
// methods in vtable order from slot 6 on; an interface the program only passes
// along, and never calls, is declared without methods. Parameters whose types
// the program never touches are plain IInspectable pointers: same ABI.

#include <windows.h>
#include <inspectable.h>
#include <unknwn.h>

namespace WinRtAbi
{

struct IXmlNode;
struct IXmlDocument;
struct IToastNotification;
struct IToastNotifier;
struct IToastNotificationHistory;
struct IScheduledToastNotification;
struct IScheduledToastNotificationVectorView;

// Windows.Data.Xml.Dom

// The default interface of XmlDocument; only handed to the toast factory.
struct IXmlDocument : IInspectable
{
};

struct IXmlDocumentIO : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE LoadXml(HSTRING xml) = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadXmlWithSettings(HSTRING xml, IInspectable* loadSettings) = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveToFileAsync(IInspectable* file, IInspectable** asyncInfo) = 0;
};

// Only queried for its serializer and element interfaces.
struct IXmlNode : IInspectable
{
};

struct IXmlNodeSelector : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE SelectSingleNode(HSTRING xpath, IXmlNode** node) = 0;
    virtual HRESULT STDMETHODCALLTYPE SelectNodes(HSTRING xpath, IInspectable** nodeList) = 0;
    virtual HRESULT STDMETHODCALLTYPE SelectSingleNodeNS(HSTRING xpath, IInspectable* namespaces,
                                                         IXmlNode** node) = 0;
    virtual HRESULT STDMETHODCALLTYPE SelectNodesNS(HSTRING xpath, IInspectable* namespaces,
                                                    IInspectable** nodeList) = 0;
};

struct IXmlNodeSerializer : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE GetXml(HSTRING* outerXml) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_InnerText(HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_InnerText(HSTRING value) = 0;
};

struct IXmlElement : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE get_TagName(HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttribute(HSTRING name, HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAttribute(HSTRING name, HSTRING value) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveAttribute(HSTRING name) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributeNode(HSTRING name, IInspectable** attribute) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAttributeNode(IInspectable* attribute, IInspectable** previous) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveAttributeNode(IInspectable* attribute,
                                                          IInspectable** removed) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetElementsByTagName(HSTRING tagName, IInspectable** elements) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAttributeNS(IInspectable* namespaceUri, HSTRING qualifiedName,
                                                     HSTRING value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributeNS(IInspectable* namespaceUri, HSTRING localName,
                                                     HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveAttributeNS(IInspectable* namespaceUri, HSTRING localName) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAttributeNodeNS(IInspectable* attribute,
                                                         IInspectable** previous) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributeNodeNS(IInspectable* namespaceUri, HSTRING localName,
                                                         IInspectable** attribute) = 0;
};

// Windows.UI.Notifications

// Only handed from the toast factory to the notifier.
struct IToastNotification : IInspectable
{
};

struct IToastNotificationFactory : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE CreateToastNotification(IXmlDocument* content,
                                                              IToastNotification** value) = 0;
};

// Only read back through the list of scheduled toasts and handed to RemoveFromSchedule.
struct IScheduledToastNotification : IInspectable
{
};

// IVectorView<ScheduledToastNotification*>.
struct IScheduledToastNotificationVectorView : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE GetAt(UINT32 index, IScheduledToastNotification** item) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Size(UINT32* size) = 0;
    virtual HRESULT STDMETHODCALLTYPE IndexOf(IScheduledToastNotification* value, UINT32* index,
                                              boolean* found) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMany(UINT32 startIndex, UINT32 capacity,
                                              IScheduledToastNotification** items, UINT32* actual) = 0;
};

enum NotificationSetting : INT32
{
    NotificationSetting_Enabled = 0,
    NotificationSetting_DisabledForApplication = 1,
    NotificationSetting_DisabledForUser = 2,
    NotificationSetting_DisabledByGroupPolicy = 3,
    NotificationSetting_DisabledByManifest = 4,
};

struct IToastNotifier : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE Show(IToastNotification* notification) = 0;
    virtual HRESULT STDMETHODCALLTYPE Hide(IToastNotification* notification) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Setting(NotificationSetting* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddToSchedule(IScheduledToastNotification* scheduledToast) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveFromSchedule(IScheduledToastNotification* scheduledToast) = 0;
    virtual HRESULT STDMETHODCALLTYPE
    GetScheduledToastNotifications(IScheduledToastNotificationVectorView** result) = 0;
};

struct IToastNotificationHistory : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE RemoveGroup(HSTRING group) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveGroupWithId(HSTRING group, HSTRING applicationId) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveGroupedTagWithId(HSTRING tag, HSTRING group,
                                                             HSTRING applicationId) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveGroupedTag(HSTRING tag, HSTRING group) = 0;
    virtual HRESULT STDMETHODCALLTYPE Remove(HSTRING tag) = 0;
    virtual HRESULT STDMETHODCALLTYPE Clear() = 0;
    virtual HRESULT STDMETHODCALLTYPE ClearWithId(HSTRING applicationId) = 0;
};

struct IToastNotificationManagerStatics : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE CreateToastNotifier(IToastNotifier** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateToastNotifierWithId(HSTRING applicationId,
                                                                IToastNotifier** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTemplateContent(INT32 type, IXmlDocument** result) = 0;
};

struct IToastNotificationManagerStatics2 : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE get_History(IToastNotificationHistory** value) = 0;
};

// The default interface of ToastNotificationManagerForUser; only queried for the
// notification mode.
struct IToastNotificationManagerForUser : IInspectable
{
};

struct IToastNotificationManagerStatics5 : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE GetDefault(IToastNotificationManagerForUser** result) = 0;
};

// Windows 11's Do Not Disturb (PriorityOnly) and alarms-only modes.
enum ToastNotificationMode : INT32
{
    ToastNotificationMode_Unrestricted = 0,
    ToastNotificationMode_PriorityOnly = 1,
    ToastNotificationMode_AlarmsOnly = 2,
};

struct EventRegistrationToken
{
    INT64 value;
};

// Not on Windows 10 and early Windows 11.
struct IToastNotificationManagerForUser3 : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE get_NotificationMode(ToastNotificationMode* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_NotificationModeChanged(IInspectable* handler,
                                                                  EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_NotificationModeChanged(EventRegistrationToken token) = 0;
};

// Classic COM: what the toast platform calls on the activator named by "CustomActivator".
struct NOTIFICATION_USER_INPUT_DATA
{
    LPCWSTR Key;
    LPCWSTR Value;
};

struct INotificationActivationCallback : IUnknown
{
    virtual HRESULT STDMETHODCALLTYPE Activate(LPCWSTR appUserModelId, LPCWSTR invokedArgs,
                                               const NOTIFICATION_USER_INPUT_DATA* data, ULONG count) = 0;
};

// Runtime class names.
constexpr wchar_t kXmlDocumentClass[] = L"Windows.Data.Xml.Dom.XmlDocument";
constexpr wchar_t kToastNotificationClass[] = L"Windows.UI.Notifications.ToastNotification";
constexpr wchar_t kToastNotificationManagerClass[] = L"Windows.UI.Notifications.ToastNotificationManager";

} // namespace WinRtAbi

__CRT_UUID_DECL(WinRtAbi::IXmlDocument, 0xf7f3a506, 0x1e87, 0x42d6, 0xbc, 0xfb, 0xb8, 0xc8, 0x09, 0xfa, 0x54,
                0x94)
__CRT_UUID_DECL(WinRtAbi::IXmlDocumentIO, 0x6cd0e74e, 0xee65, 0x4489, 0x9e, 0xbf, 0xca, 0x43, 0xe8, 0x7b,
                0xa6, 0x37)
__CRT_UUID_DECL(WinRtAbi::IXmlNode, 0x1c741d59, 0x2122, 0x47d5, 0xa8, 0x56, 0x83, 0xf3, 0xd4, 0x21, 0x48,
                0x75)
__CRT_UUID_DECL(WinRtAbi::IXmlNodeSelector, 0x63dbba8b, 0xd0db, 0x4fe1, 0xb7, 0x45, 0xf9, 0x43, 0x3a, 0xfd,
                0xc2, 0x5b)
__CRT_UUID_DECL(WinRtAbi::IXmlNodeSerializer, 0x5cc5b382, 0xe6dd, 0x4991, 0xab, 0xef, 0x06, 0xd8, 0xd2, 0xe7,
                0xbd, 0x0c)
__CRT_UUID_DECL(WinRtAbi::IXmlElement, 0x2dfb8a1f, 0x6b10, 0x4ef8, 0x9f, 0x83, 0xef, 0xcc, 0xe8, 0xfa, 0xec,
                0x37)
__CRT_UUID_DECL(WinRtAbi::IToastNotification, 0x997e2675, 0x059e, 0x4e60, 0x8b, 0x06, 0x17, 0x60, 0x91, 0x7c,
                0x8b, 0x80)
__CRT_UUID_DECL(WinRtAbi::IToastNotificationFactory, 0x04124b20, 0x82c6, 0x4229, 0xb1, 0x09, 0xfd, 0x9e, 0xd4,
                0x66, 0x2b, 0x53)
__CRT_UUID_DECL(WinRtAbi::IScheduledToastNotification, 0x79f577f8, 0x0de7, 0x48cd, 0x97, 0x40, 0x9b, 0x37,
                0x04, 0x90, 0xc8, 0x38)
// The parameterised interface's IID, fixed here: Wine cannot compute it at run time.
__CRT_UUID_DECL(WinRtAbi::IScheduledToastNotificationVectorView, 0xba0aff1f, 0x6a8a, 0x5a7e, 0xa9, 0xf7, 0x50,
                0x5b, 0x62, 0x66, 0xa4, 0x36)
__CRT_UUID_DECL(WinRtAbi::IToastNotifier, 0x75927b93, 0x03f3, 0x41ec, 0x91, 0xd3, 0x6e, 0x5b, 0xac, 0x1b,
                0x38, 0xe7)
__CRT_UUID_DECL(WinRtAbi::IToastNotificationHistory, 0x5caddc63, 0x01d3, 0x4c97, 0x98, 0x6f, 0x05, 0x33, 0x48,
                0x3f, 0xee, 0x14)
__CRT_UUID_DECL(WinRtAbi::IToastNotificationManagerStatics, 0x50ac103f, 0xd235, 0x4598, 0xbb, 0xef, 0x98,
                0xfe, 0x4d, 0x1a, 0x3a, 0xd4)
__CRT_UUID_DECL(WinRtAbi::IToastNotificationManagerStatics2, 0x7ab93c52, 0x0e48, 0x4750, 0xba, 0x9d, 0x1a,
                0x41, 0x13, 0x98, 0x18, 0x47)
__CRT_UUID_DECL(WinRtAbi::IToastNotificationManagerStatics5, 0xd6f5f569, 0xd40d, 0x407c, 0x89, 0x89, 0x88,
                0xca, 0xb4, 0x2c, 0xfd, 0x14)
__CRT_UUID_DECL(WinRtAbi::IToastNotificationManagerForUser, 0x79ab57f6, 0x43fe, 0x487b, 0x8a, 0x7f, 0x99,
                0x56, 0x72, 0x00, 0xae, 0x94)
__CRT_UUID_DECL(WinRtAbi::IToastNotificationManagerForUser3, 0x3efcb176, 0x6cc1, 0x56dc, 0x97, 0x3b, 0x25,
                0x1f, 0x7a, 0xac, 0xb1, 0xc5)
__CRT_UUID_DECL(WinRtAbi::INotificationActivationCallback, 0x53e31837, 0x6600, 0x4a81, 0x93, 0x95, 0x75, 0xcf,
                0xfe, 0x74, 0x6f, 0x94)
