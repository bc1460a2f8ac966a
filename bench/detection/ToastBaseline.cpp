// The like-for-like baseline for the detection benchmark: the idle window of
// idle-window.exe that first shows one toast through the same toast platform
// and the same code as Voltwren, under an identity of its own, so that the
// runtime, the XML classes and the notifier are loaded as they are in Voltwren.
#include "HiddenWindow.h"

#include "toast/NotifierIdentity.h"
#include "toast/ToastNotification.h"

#include <exception>
#include <string>

namespace
{
constexpr int kToastFailed = 2;

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    try
    {
        const std::wstring icon = ProgramFolder() + L"notification_icon.png";
        NotifierIdentity::Register(L"Tessaly.VoltwrenBenchBaseline", L"Voltwren benchmark baseline", icon);
        ShowToastNotification(L"Fast Charge Mode On",
                              L"Charging with USB Power Delivery (USB PD) technology.", icon);
    }
    catch (const std::exception&)
    {
        // The bench sees the process end early and no toast of this identity.
        return kToastFailed;
    }
    return RunHiddenWindow(instance, L"VWN_TOAST_BASELINE");
}
