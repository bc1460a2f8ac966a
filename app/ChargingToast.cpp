#include "app/ChargingToast.h"

#include "detection/ChargingType.h"
#include "logging/ApacheLogger.h"
#include "logging/EventReports.h"
#include "toast/ToastNotification.h"
#include "toast/WinRtError.h"

namespace
{
const wchar_t* const kToastTitle = L"Fast Charge Mode On";
} // namespace

void ShowChargingTypeToast(BYTE chargingType, const std::wstring& programFolder)
{
    const wchar_t* body = ChargingTypeToastLine(chargingType);
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
        ReportToEventLog(VoltwrenEvent::kToastRefused, {HresultInsert(error.Code())});
    }
    catch (const std::exception& error)
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] @@@@@ Unable to show the toast (%hs) !!! @@@@@",
            error.what());
    }
}
