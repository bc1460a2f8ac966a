#include "toast/ToastNotification.h"

#include "toast/NotifierIdentity.h"
#include "toast/WinRtAbi.h"
#include "toast/WinRtSupport.h"

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

} // namespace

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
    ThrowIfFailed(notifier->Show(toast.Get()));
}
