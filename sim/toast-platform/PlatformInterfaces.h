#pragma once

// The Windows Runtime interfaces this stand-in implements, declared for its
// own side with every method in vtable order (slot 6 on), so that each object
// has a complete vtable whatever a caller reaches for. Written separately from
// the program's declarations on purpose: a slot or IID slip on either side
// then shows up as a failing toast test instead of agreeing with itself.

#include <windows.h>
#include <activation.h>
#include <inspectable.h>

namespace Platform
{

struct IXmlNode;
struct IXmlDocument;
struct IToastNotification;
struct IToastNotifier;
struct IToastNotificationHistory;
struct IScheduledToastNotification;

struct DateTime
{
    INT64 UniversalTime;
};

struct EventRegistrationToken
{
    INT64 value;
};

enum NodeType : INT32
{
    NodeType_Invalid = 0,
    NodeType_ElementNode = 1,
    NodeType_DocumentNode = 9,
};

enum NotificationSetting : INT32
{
    NotificationSetting_Enabled = 0,
    NotificationSetting_DisabledForApplication = 1,
    NotificationSetting_DisabledForUser = 2,
    NotificationSetting_DisabledByGroupPolicy = 3,
    NotificationSetting_DisabledByManifest = 4,
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

struct IXmlNode : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE get_NodeValue(IInspectable** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_NodeValue(IInspectable* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NodeType(NodeType* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NodeName(HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ParentNode(IXmlNode** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ChildNodes(IInspectable** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FirstChild(IXmlNode** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LastChild(IXmlNode** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_PreviousSibling(IXmlNode** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NextSibling(IXmlNode** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Attributes(IInspectable** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE HasChildNodes(boolean* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_OwnerDocument(IXmlDocument** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE InsertBefore(IXmlNode* newChild, IXmlNode* referenceChild,
                                                   IXmlNode** insertedChild) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReplaceChild(IXmlNode* newChild, IXmlNode* referenceChild,
                                                   IXmlNode** previousChild) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveChild(IXmlNode* childNode, IXmlNode** removedChild) = 0;
    virtual HRESULT STDMETHODCALLTYPE AppendChild(IXmlNode* newChild, IXmlNode** appendedChild) = 0;
    virtual HRESULT STDMETHODCALLTYPE CloneNode(boolean deep, IXmlNode** newNode) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_NamespaceUri(IInspectable** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_LocalName(IInspectable** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Prefix(IInspectable** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE Normalize() = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Prefix(IInspectable* value) = 0;
};

struct IXmlElement : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE get_TagName(HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttribute(HSTRING attributeName, HSTRING* attributeValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAttribute(HSTRING attributeName, HSTRING attributeValue) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveAttribute(HSTRING attributeName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributeNode(HSTRING attributeName,
                                                       IInspectable** attributeNode) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAttributeNode(IInspectable* newAttribute,
                                                       IInspectable** previous) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveAttributeNode(IInspectable* attributeNode,
                                                          IInspectable** removed) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetElementsByTagName(HSTRING tagName, IInspectable** elements) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAttributeNS(IInspectable* namespaceUri, HSTRING qualifiedName,
                                                     HSTRING value) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributeNS(IInspectable* namespaceUri, HSTRING localName,
                                                     HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveAttributeNS(IInspectable* namespaceUri, HSTRING localName) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetAttributeNodeNS(IInspectable* newAttribute,
                                                         IInspectable** previous) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetAttributeNodeNS(IInspectable* namespaceUri, HSTRING localName,
                                                         IInspectable** attribute) = 0;
};

struct IXmlDocument : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE get_Doctype(IInspectable** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Implementation(IInspectable** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DocumentElement(IXmlElement** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateElement(HSTRING tagName, IXmlElement** newElement) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateDocumentFragment(IInspectable** newFragment) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateTextNode(HSTRING data, IInspectable** newTextNode) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateComment(HSTRING data, IInspectable** newComment) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateProcessingInstruction(HSTRING target, HSTRING data,
                                                                  IInspectable** newInstruction) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateAttribute(HSTRING name, IInspectable** newAttribute) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateEntityReference(HSTRING name, IInspectable** newReference) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetElementsByTagName(HSTRING tagName, IInspectable** elements) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateCDataSection(HSTRING data, IInspectable** newSection) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DocumentUri(HSTRING* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateAttributeNS(IInspectable* namespaceUri, HSTRING qualifiedName,
                                                        IInspectable** newAttribute) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateElementNS(IInspectable* namespaceUri, HSTRING qualifiedName,
                                                      IXmlElement** newElement) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetElementById(HSTRING elementId, IXmlElement** element) = 0;
    virtual HRESULT STDMETHODCALLTYPE ImportNode(IXmlNode* node, boolean deep, IXmlNode** newNode) = 0;
};

struct IXmlDocumentIO : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE LoadXml(HSTRING xml) = 0;
    virtual HRESULT STDMETHODCALLTYPE LoadXmlWithSettings(HSTRING xml, IInspectable* loadSettings) = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveToFileAsync(IInspectable* file, IInspectable** asyncInfo) = 0;
};

struct IToastNotification : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE get_Content(IXmlDocument** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_ExpirationTime(IInspectable* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ExpirationTime(IInspectable** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_Dismissed(IUnknown* handler, EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_Dismissed(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_Activated(IUnknown* handler, EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_Activated(EventRegistrationToken token) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_Failed(IUnknown* handler, EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_Failed(EventRegistrationToken token) = 0;
};

struct IToastNotificationFactory : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE CreateToastNotification(IXmlDocument* content,
                                                              IToastNotification** value) = 0;
};

struct IScheduledToastNotification : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE get_Content(IXmlDocument** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_DeliveryTime(DateTime* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SnoozeInterval(IInspectable** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_MaximumSnoozeCount(UINT32* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_Id(HSTRING value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Id(HSTRING* value) = 0;
};

// IVectorView<ScheduledToastNotification*>
struct IScheduledToastVectorView : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE GetAt(UINT32 index, IScheduledToastNotification** item) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Size(UINT32* size) = 0;
    virtual HRESULT STDMETHODCALLTYPE IndexOf(IScheduledToastNotification* value, UINT32* index,
                                              boolean* found) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMany(UINT32 startIndex, UINT32 capacity,
                                              IScheduledToastNotification** items, UINT32* actual) = 0;
};

struct IToastNotifier : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE Show(IToastNotification* notification) = 0;
    virtual HRESULT STDMETHODCALLTYPE Hide(IToastNotification* notification) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Setting(NotificationSetting* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddToSchedule(IScheduledToastNotification* scheduledToast) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemoveFromSchedule(IScheduledToastNotification* scheduledToast) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetScheduledToastNotifications(IScheduledToastVectorView** result) = 0;
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

// The default interface of ToastNotificationManagerForUser.
struct IToastNotificationManagerForUser : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE CreateToastNotifier(IToastNotifier** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateToastNotifierWithId(HSTRING applicationId,
                                                                IToastNotifier** result) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_History(IToastNotificationHistory** value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_User(IInspectable** value) = 0;
};

enum ToastNotificationMode : INT32
{
    ToastNotificationMode_Unrestricted = 0,
    ToastNotificationMode_PriorityOnly = 1,
    ToastNotificationMode_AlarmsOnly = 2,
};

struct IToastNotificationManagerForUser3 : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE get_NotificationMode(ToastNotificationMode* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE add_NotificationModeChanged(IUnknown* handler,
                                                                  EventRegistrationToken* token) = 0;
    virtual HRESULT STDMETHODCALLTYPE remove_NotificationModeChanged(EventRegistrationToken token) = 0;
};

struct IToastNotificationManagerStatics5 : IInspectable
{
    virtual HRESULT STDMETHODCALLTYPE GetDefault(IToastNotificationManagerForUser** result) = 0;
};

} // namespace Platform

__CRT_UUID_DECL(Platform::IXmlNodeSelector, 0x63dbba8b, 0xd0db, 0x4fe1, 0xb7, 0x45, 0xf9, 0x43, 0x3a, 0xfd,
                0xc2, 0x5b)
__CRT_UUID_DECL(Platform::IXmlNodeSerializer, 0x5cc5b382, 0xe6dd, 0x4991, 0xab, 0xef, 0x06, 0xd8, 0xd2, 0xe7,
                0xbd, 0x0c)
__CRT_UUID_DECL(Platform::IXmlNode, 0x1c741d59, 0x2122, 0x47d5, 0xa8, 0x56, 0x83, 0xf3, 0xd4, 0x21, 0x48,
                0x75)
__CRT_UUID_DECL(Platform::IXmlElement, 0x2dfb8a1f, 0x6b10, 0x4ef8, 0x9f, 0x83, 0xef, 0xcc, 0xe8, 0xfa, 0xec,
                0x37)
__CRT_UUID_DECL(Platform::IXmlDocument, 0xf7f3a506, 0x1e87, 0x42d6, 0xbc, 0xfb, 0xb8, 0xc8, 0x09, 0xfa, 0x54,
                0x94)
__CRT_UUID_DECL(Platform::IXmlDocumentIO, 0x6cd0e74e, 0xee65, 0x4489, 0x9e, 0xbf, 0xca, 0x43, 0xe8, 0x7b,
                0xa6, 0x37)
__CRT_UUID_DECL(Platform::IToastNotification, 0x997e2675, 0x059e, 0x4e60, 0x8b, 0x06, 0x17, 0x60, 0x91, 0x7c,
                0x8b, 0x80)
__CRT_UUID_DECL(Platform::IToastNotificationFactory, 0x04124b20, 0x82c6, 0x4229, 0xb1, 0x09, 0xfd, 0x9e, 0xd4,
                0x66, 0x2b, 0x53)
__CRT_UUID_DECL(Platform::IScheduledToastNotification, 0x79f577f8, 0x0de7, 0x48cd, 0x97, 0x40, 0x9b, 0x37,
                0x04, 0x90, 0xc8, 0x38)
__CRT_UUID_DECL(Platform::IScheduledToastVectorView, 0xba0aff1f, 0x6a8a, 0x5a7e, 0xa9, 0xf7, 0x50, 0x5b, 0x62,
                0x66, 0xa4, 0x36)
__CRT_UUID_DECL(Platform::IToastNotifier, 0x75927b93, 0x03f3, 0x41ec, 0x91, 0xd3, 0x6e, 0x5b, 0xac, 0x1b,
                0x38, 0xe7)
__CRT_UUID_DECL(Platform::IToastNotificationHistory, 0x5caddc63, 0x01d3, 0x4c97, 0x98, 0x6f, 0x05, 0x33, 0x48,
                0x3f, 0xee, 0x14)
__CRT_UUID_DECL(Platform::IToastNotificationManagerStatics, 0x50ac103f, 0xd235, 0x4598, 0xbb, 0xef, 0x98,
                0xfe, 0x4d, 0x1a, 0x3a, 0xd4)
__CRT_UUID_DECL(Platform::IToastNotificationManagerStatics2, 0x7ab93c52, 0x0e48, 0x4750, 0xba, 0x9d, 0x1a,
                0x41, 0x13, 0x98, 0x18, 0x47)
__CRT_UUID_DECL(Platform::IToastNotificationManagerStatics5, 0xd6f5f569, 0xd40d, 0x407c, 0x89, 0x89, 0x88,
                0xca, 0xb4, 0x2c, 0xfd, 0x14)
__CRT_UUID_DECL(Platform::IToastNotificationManagerForUser, 0x79ab57f6, 0x43fe, 0x487b, 0x8a, 0x7f, 0x99,
                0x56, 0x72, 0x00, 0xae, 0x94)
__CRT_UUID_DECL(Platform::IToastNotificationManagerForUser3, 0x3efcb176, 0x6cc1, 0x56dc, 0x97, 0x3b, 0x25,
                0x1f, 0x7a, 0xac, 0xb1, 0xc5)
