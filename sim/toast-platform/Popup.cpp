#include "Popup.h"

#include "Journal.h"
#include "Msxml.h"
#include "RuntimeObject.h"

#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>
#include <wincodec.h>

#include <atomic>
#include <cmath>
#include <new>
#include <vector>

namespace Platform
{
namespace
{

constexpr wchar_t kPopupVariable[] = L"VWN_TOAST_POPUP";
constexpr wchar_t kWindowClass[] = L"VoltwrenToastPlatformPopup";
constexpr UINT_PTR kCloseTimer = 1;
constexpr UINT kVisibleMs = 5000;
constexpr int kWidth = 364;
constexpr int kHeight = 104;
constexpr int kMargin = 12;
constexpr int kLogoSize = 64;
constexpr int kPadding = 16;
constexpr COLORREF kBackground = RGB(0x2B, 0x2B, 0x2B);
constexpr COLORREF kBorder = RGB(0x4A, 0x4A, 0x4A);
constexpr COLORREF kTitleColor = RGB(0xFF, 0xFF, 0xFF);
constexpr COLORREF kBodyColor = RGB(0xC8, 0xC8, 0xC8);
constexpr COLORREF kAttributionColor = RGB(0x9A, 0x9A, 0x9A);

constexpr CLSID kWicImagingFactory = {
    0xcacaf262, 0x9370, 0x4615, {0xa1, 0x3b, 0x9f, 0x55, 0x39, 0xda, 0x4c, 0x0a}};

// Popups showing at once stack upwards from the corner.
std::atomic<int> g_visiblePopups{0};

struct PopupContent
{
    std::wstring appName;
    std::wstring title;
    std::wstring body;
    std::wstring imagePath;
};

struct PopupWindowState
{
    PopupContent content;
    HBITMAP logo = nullptr;
    HFONT titleFont = nullptr;
    HFONT bodyFont = nullptr;
    HFONT attributionFont = nullptr;
};

std::wstring SelectText(IXMLDOMDocument2* document, const wchar_t* xpath)
{
    const Bstr query(xpath);
    ComRef<IXMLDOMNode> node;
    const HRESULT hr = document->selectSingleNode(query.Get(), node.Put());
    if (FAILED(hr) || !node)
    {
        return L"";
    }
    Bstr text;
    node->get_text(text.Put());
    return text.Text();
}

bool ParseToast(const std::wstring& xml, PopupContent& content)
{
    ComRef<IXMLDOMDocument2> document;
    if (FAILED(CreateDomDocument(document)))
    {
        return false;
    }
    const Bstr text(xml);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    document->loadXML(text.Get(), &loaded);
    if (loaded == VARIANT_FALSE)
    {
        return false;
    }
    content.title = SelectText(document.Get(), L"//text[1]");
    content.body = SelectText(document.Get(), L"//text[2]");
    content.imagePath = SelectText(document.Get(), L"//image[1]/@src");
    return true;
}

// The display name the identifier registered, as the toast's attribution line.
std::wstring DisplayNameOf(const std::wstring& appId)
{
    const std::wstring key = L"SOFTWARE\\Classes\\AppUserModelId\\" + appId;
    wchar_t name[256] = {};
    DWORD size = sizeof(name);
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"DisplayName", RRF_RT_REG_SZ, nullptr, name, &size) !=
        ERROR_SUCCESS)
    {
        return appId;
    }
    return name;
}

// The image scaled to the logo's square, premultiplied, with everything
// outside the inscribed circle transparent and a soft one-pixel rim.
HBITMAP LoadCircularLogo(const std::wstring& path)
{
    ComRef<IWICImagingFactory> factory;
    HRESULT hr = CoCreateInstance(kWicImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  __uuidof(IWICImagingFactory), reinterpret_cast<void**>(factory.Put()));
    ComRef<IWICBitmapDecoder> decoder;
    if (SUCCEEDED(hr))
    {
        hr = factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, decoder.Put());
    }
    ComRef<IWICBitmapFrameDecode> frame;
    if (SUCCEEDED(hr))
    {
        hr = decoder->GetFrame(0, frame.Put());
    }
    ComRef<IWICFormatConverter> converter;
    if (SUCCEEDED(hr))
    {
        hr = factory->CreateFormatConverter(converter.Put());
    }
    if (SUCCEEDED(hr))
    {
        hr = converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppPBGRA, WICBitmapDitherTypeNone,
                                   nullptr, 0.0, WICBitmapPaletteTypeCustom);
    }
    ComRef<IWICBitmapScaler> scaler;
    if (SUCCEEDED(hr))
    {
        hr = factory->CreateBitmapScaler(scaler.Put());
    }
    if (SUCCEEDED(hr))
    {
        hr = scaler->Initialize(converter.Get(), kLogoSize, kLogoSize, WICBitmapInterpolationModeFant);
    }
    std::vector<BYTE> pixels(kLogoSize * kLogoSize * 4);
    if (SUCCEEDED(hr))
    {
        hr = scaler->CopyPixels(nullptr, kLogoSize * 4, static_cast<UINT>(pixels.size()), pixels.data());
    }
    if (FAILED(hr))
    {
        DebugLine(
            L"[VoltwrenToastPlatform][ShowPopup] @@@@@ Loading the logo \"%ls\" failed (0x%08lX) !!! (output via OutputDebugString())\n",
            path.c_str(), static_cast<unsigned long>(hr));
        return nullptr;
    }

    const double radius = kLogoSize / 2.0;
    for (int y = 0; y < kLogoSize; ++y)
    {
        for (int x = 0; x < kLogoSize; ++x)
        {
            const double dx = x + 0.5 - radius;
            const double dy = y + 0.5 - radius;
            const double coverage =
                std::fmin(1.0, std::fmax(0.0, radius - std::sqrt(dx * dx + dy * dy) + 0.5));
            BYTE* pixel = &pixels[(y * kLogoSize + x) * 4];
            for (int channel = 0; channel < 4; ++channel)
            {
                pixel[channel] = static_cast<BYTE>(pixel[channel] * coverage + 0.5);
            }
        }
    }

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = kLogoSize;
    info.bmiHeader.biHeight = -kLogoSize;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr)
    {
        CopyMemory(bits, pixels.data(), pixels.size());
    }
    return bitmap;
}

HFONT MakeFont(int height, int weight)
{
    return CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Segoe UI");
}

void Paint(HWND window, const PopupWindowState& state)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);

    HBRUSH background = CreateSolidBrush(kBackground);
    FillRect(dc, &client, background);
    DeleteObject(background);
    HBRUSH border = CreateSolidBrush(kBorder);
    FrameRect(dc, &client, border);
    DeleteObject(border);

    const int logoTop = (kHeight - kLogoSize) / 2;
    if (state.logo != nullptr)
    {
        HDC logoDc = CreateCompatibleDC(dc);
        HGDIOBJ previous = SelectObject(logoDc, state.logo);
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        AlphaBlend(dc, kPadding, logoTop, kLogoSize, kLogoSize, logoDc, 0, 0, kLogoSize, kLogoSize, blend);
        SelectObject(logoDc, previous);
        DeleteDC(logoDc);
    }

    // Title, up to two lines of body, and the attribution, top to bottom.
    SetBkMode(dc, TRANSPARENT);
    const int textLeft = kPadding + kLogoSize + kPadding;
    const int textRight = client.right - kPadding;
    RECT title = {textLeft, 12, textRight, 32};
    HGDIOBJ previousFont = SelectObject(dc, state.titleFont);
    SetTextColor(dc, kTitleColor);
    DrawTextW(dc, state.content.title.c_str(), -1, &title,
              DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);

    RECT body = {textLeft, 34, textRight, 70};
    SelectObject(dc, state.bodyFont);
    SetTextColor(dc, kBodyColor);
    DrawTextW(dc, state.content.body.c_str(), -1, &body,
              DT_LEFT | DT_WORDBREAK | DT_EDITCONTROL | DT_END_ELLIPSIS | DT_NOPREFIX);

    RECT attribution = {textLeft, 74, textRight, 92};
    SelectObject(dc, state.attributionFont);
    SetTextColor(dc, kAttributionColor);
    DrawTextW(dc, state.content.appName.c_str(), -1, &attribution,
              DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);

    SelectObject(dc, previousFont);
    EndPaint(window, &paint);
}

LRESULT CALLBACK PopupProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* state = reinterpret_cast<PopupWindowState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message)
    {
    case WM_NCCREATE:
        SetWindowLongPtrW(
            window, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        break;
    case WM_PAINT:
        if (state != nullptr)
        {
            Paint(window, *state);
            return 0;
        }
        break;
    case WM_TIMER:
        if (wParam == kCloseTimer)
        {
            KillTimer(window, kCloseTimer);
            DestroyWindow(window);
            return 0;
        }
        break;
    case WM_LBUTTONUP:
        // A click dismisses, as on a real toast.
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool RegisterPopupClass(HINSTANCE instance)
{
    static const bool registered = [instance]
    {
        WNDCLASSEXW windowClass = {};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = PopupProcedure;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        windowClass.lpszClassName = kWindowClass;
        return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

HINSTANCE ThisModule()
{
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &self);
    return self;
}

void RunPopup(PopupWindowState& state)
{
    const HINSTANCE instance = ThisModule();
    if (!RegisterPopupClass(instance))
    {
        DebugLine(
            L"[VoltwrenToastPlatform][ShowPopup] @@@@@ RegisterClassExW failed (%lu) !!! (output via OutputDebugString())\n",
            GetLastError());
        return;
    }
    RECT workArea = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &workArea, 0);

    const int slot = g_visiblePopups++;
    const int left = workArea.right - kWidth - kMargin;
    const int top = workArea.bottom - (kHeight + kMargin) * (slot + 1);
    HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kWindowClass,
                                  state.content.title.c_str(), WS_POPUP, left, top, kWidth, kHeight, nullptr,
                                  nullptr, instance, &state);
    if (window == nullptr)
    {
        DebugLine(
            L"[VoltwrenToastPlatform][ShowPopup] @@@@@ CreateWindowExW failed (%lu) !!! (output via OutputDebugString())\n",
            GetLastError());
        --g_visiblePopups;
        return;
    }
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    SetTimer(window, kCloseTimer, kVisibleMs, nullptr);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
    {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    --g_visiblePopups;
}

DWORD WINAPI PopupThread(void* parameter)
{
    PopupWindowState* state = static_cast<PopupWindowState*>(parameter);
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (!state->content.imagePath.empty())
    {
        state->logo = LoadCircularLogo(state->content.imagePath);
    }
    state->titleFont = MakeFont(15, FW_BOLD);
    state->bodyFont = MakeFont(13, FW_NORMAL);
    state->attributionFont = MakeFont(11, FW_NORMAL);

    RunPopup(*state);

    for (HGDIOBJ object :
         {static_cast<HGDIOBJ>(state->logo), static_cast<HGDIOBJ>(state->titleFont),
          static_cast<HGDIOBJ>(state->bodyFont), static_cast<HGDIOBJ>(state->attributionFont)})
    {
        if (object != nullptr)
        {
            DeleteObject(object);
        }
    }
    delete state;
    if (SUCCEEDED(apartment))
    {
        CoUninitialize();
    }
    return 0;
}

} // namespace

void ShowPopup(const std::wstring& appId, const std::wstring& xml)
{
    wchar_t flag[4] = {};
    if (GetEnvironmentVariableW(kPopupVariable, flag, 4) != 1 || flag[0] != L'1')
    {
        return;
    }
    auto* state = new (std::nothrow) PopupWindowState();
    if (state == nullptr)
    {
        return;
    }
    if (!ParseToast(xml, state->content))
    {
        DebugLine(
            L"[VoltwrenToastPlatform][ShowPopup] @@@@@ The toast's XML could not be read !!! (output via OutputDebugString())\n");
        delete state;
        return;
    }
    state->content.appName = DisplayNameOf(appId);
    HANDLE thread = CreateThread(nullptr, 0, PopupThread, state, 0, nullptr);
    if (thread == nullptr)
    {
        DebugLine(
            L"[VoltwrenToastPlatform][ShowPopup] @@@@@ CreateThread failed (%lu) !!! (output via OutputDebugString())\n",
            GetLastError());
        delete state;
        return;
    }
    CloseHandle(thread);
}

} // namespace Platform
