#include "app/ChargingToast.h"

#include "detection/ChargingType.h"
#include "logging/ApacheLogger.h"
#include "toast/ToastNotification.h"
#include "toast/WinRtError.h"

namespace
{
const wchar_t* const kToastTitle = L"Fast Charge Mode On";
const wchar_t* const kQuickChargeText = L"Charging with Quick Charge (QC) technology.";
const wchar_t* const kUsbPdText = L"Charging with USB Power Delivery (USB PD) technology.";

const wchar_t* ToastBody(BYTE chargingType)
{
    switch (static_cast<ChargingType>(chargingType))
    {
    case ChargingType::QuickCharge:
        return kQuickChargeText;
    case ChargingType::UsbPd:
        return kUsbPdText;
    default:
        return nullptr;
    }
}
} // namespace

void ShowChargingTypeToast(BYTE chargingType, const std::wstring& programFolder)
{
    const wchar_t* body = ToastBody(chargingType);
    if (body == nullptr)
    {
        return;
    }
    try
    {
        ShowToastNotification(kToastTitle, body, programFolder + L"notification_icon.png");
    }
    catch (const WinRtError& error)
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] @@@@@ Unable to show the toast, HRESULT(0x%08X) !!! @@@@@",
            static_cast<unsigned>(error.Code()));
    }
    catch (const std::exception& error)
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] @@@@@ Unable to show the toast (%hs) !!! @@@@@",
            error.what());
    }
}
