// The polling thread: reads the charging type about every 1.4 s and shows a
// toast when it turns into Quick Charge or USB PD.
#include "detection/ChipAccessHelper.h"

#include "app/Globals.h"
#include "app/QuitRequest.h"
#include "detection/ChargingType.h"
#include "logging/ApacheLogger.h"
#include "toast/ToastNotification.h"
#include "toast/WinRtError.h"

#include <cerrno>
#include <cstdint>
#include <process.h>

namespace
{
constexpr DWORD kPollWaitMs = 1000;
constexpr DWORD kStopWaitMs = 4000;
const wchar_t* const kToastTitle = L"Fast Charge Mode On";
const wchar_t* const kQuickChargeText = L"Charging with Quick Charge (QC) technology.";
const wchar_t* const kUsbPdText = L"Charging with USB Power Delivery (USB PD) technology.";

unsigned HandleBits(HANDLE handle)
{
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle));
}

// A refused toast must not end detection; the platform's code goes to the log.
void ShowToastOrLog(const wchar_t* body, const std::wstring& imagePath)
{
    try
    {
        ShowToastNotification(kToastTitle, body, imagePath);
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

void LogReleased(const wchar_t* operation)
{
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::%ws] Detection was released; nothing to do.", operation);
}
} // namespace

void ChipAccessHelper::Run(INT32 retryCount)
{
    if (m_released)
    {
        LogReleased(L"Run");
        return;
    }
    EnterCriticalSection(&m_lock);
    if (m_thread != nullptr)
    {
        Stop();
    }
    _retryCount = static_cast<UINT32>(retryCount);
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Run] _retryCount(%d)", _retryCount);
    ResetEvent(m_pollingEvent);

    unsigned threadId = 0;
    m_thread = reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, DetectionThreadFunc, this, CREATE_SUSPENDED, &threadId));
    const int creationErrno = errno;
    m_threadId = threadId;
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Run] m_thread = %#08x", HandleBits(m_thread));
    if (m_thread == nullptr)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Run] @@@@@ Unable to create the thread !!! @@@@@");
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Run] @@@@@ errno(%d)", creationErrno);
        m_threadId = 0;
    }
    else
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Run] Executing the thread in progress.\n");
        ResumeThread(m_thread);
    }
    LeaveCriticalSection(&m_lock);
}

void ChipAccessHelper::Stop()
{
    if (m_released)
    {
        LogReleased(L"Stop");
        return;
    }
    EnterCriticalSection(&m_lock);
    SetEvent(m_pollingEvent);
    m_threadId = 0;
    if (m_thread != nullptr)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Stop] Stopping thread ...");
        if (WaitForSingleObject(m_thread, kStopWaitMs) != WAIT_OBJECT_0)
        {
            VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Stop] Stopping thread - Retrying ...");
            SetEvent(m_pollingEvent);
            WaitForSingleObject(m_thread, kStopWaitMs);
        }
        CloseHandle(m_thread);
        m_thread = nullptr;
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Stop] Stopping thread - done.");
    }
    LeaveCriticalSection(&m_lock);
}

unsigned __stdcall ChipAccessHelper::DetectionThreadFunc(void* argument)
{
    ChipAccessHelper* self = static_cast<ChipAccessHelper*>(argument);
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] in.");
    const unsigned result = self->Poll();
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] out.\n");
    return result;
}

unsigned ChipAccessHelper::Poll()
{
    Preprocessing();
    const UINT32 retryCount = _retryCount;
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] _retryCount(%d)", retryCount);
    const UINT32 slaveAddr = _slaveAddr;
    if (g_showConsole)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] _slaveAddr(0x%X)", slaveAddr);
    }
    const std::wstring resultFilename = _resultFilename;
    if (g_showConsole)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] _resultFilename -> %ws",
                 resultFilename.c_str());
    }

    bool polling = true;
    UINT32 retryIndex = 0;
    unsigned result = 0;
    while (WaitForSingleObject(m_pollingEvent, kPollWaitMs) == WAIT_TIMEOUT)
    {
        if (!polling)
        {
            continue;
        }
        if (retryIndex == 0)
        {
            if (g_showConsole)
            {
                VWN_LOGW(
                    L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] Executing the polling process ...");
            }
            SendCommand2SlaveAddress(slaveAddr);
        }
        BYTE value = 0;
        const bool isSuccessful = ReadQcPdPresenceStatusFromFile(resultFilename, value);
        if (g_showConsole)
        {
            VWN_LOGW(
                L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] _isSuccessful(%d), _value(%d), _retryIndex(%d)\n",
                isSuccessful ? 1 : 0, value, retryIndex);
        }
        if (isSuccessful)
        {
            retryIndex = 0;
            OnChargingType(value);
        }
        else if (retryIndex < retryCount)
        {
            ++retryIndex;
        }
        else
        {
            VWN_LOGW(
                L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] @@@@@ Unable to read the value from the tool !!! @@@@@");
            result = 1;
            polling = false;
            VWN_LOGW(
                L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] Posting WM_QUIT to the main window ...");
            PostQuitToMainWindow();
            VWN_LOGW(
                L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] Posting WM_QUIT to the main window - done.\n");
        }
    }
    return result;
}

void ChipAccessHelper::OnChargingType(BYTE value)
{
    if (value == m_chargingType)
    {
        return;
    }
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] Current charging type (%d).",
             m_chargingType);
    VWN_LOGW(
        L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] Change of charging type detected (%d).\n",
        value);
    const std::wstring imagePath = m_workingDir + L"notification_icon.png";
    if (value == static_cast<BYTE>(ChargingType::QuickCharge))
    {
        ShowToastOrLog(kQuickChargeText, imagePath);
    }
    else if (value == static_cast<BYTE>(ChargingType::UsbPd))
    {
        ShowToastOrLog(kUsbPdText, imagePath);
    }
    m_chargingType = value;
}
