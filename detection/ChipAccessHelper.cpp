#include "detection/ChipAccessHelper.h"

#include "detection/ChargerReading.h"
#include "detection/PollingLoop.h"
#include "logging/ApacheLogger.h"

namespace
{
void LogReleased(const wchar_t* operation)
{
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::%ws] Detection was released; nothing to do.", operation);
}
} // namespace

ChipAccessHelper& ChipAccessHelper::Instance()
{
    static ChipAccessHelper instance;
    return instance;
}

ChipAccessHelper::ChipAccessHelper() : m_state(std::make_shared<DetectionState>())
{
    m_thread.CreateStopEvent();
}

ChipAccessHelper::~ChipAccessHelper()
{
    VWN_LOGA("[ChipAccessHelper][ChipAccessHelper::~ChipAccessHelper] in.");
    Release();
    VWN_LOGA("[ChipAccessHelper][ChipAccessHelper::~ChipAccessHelper] out.\n");
}

void ChipAccessHelper::Configure(DetectionSettings settings)
{
    m_state->settings = std::move(settings);
}

void ChipAccessHelper::SetWorkingDir(const std::wstring& workingDir)
{
    m_state->workingDir = workingDir;
    if (m_state->settings.callbacks.registerToastIdentity)
    {
        m_state->settings.callbacks.registerToastIdentity(workingDir);
    }
}

void ChipAccessHelper::Run(INT32 retryCount)
{
    if (m_released)
    {
        LogReleased(L"Run");
        return;
    }
    const std::lock_guard<std::recursive_mutex> guard(m_lock);
    const RunConditions::Action action = m_conditions.Want();
    if (m_thread.HasThread())
    {
        m_thread.Stop();
    }
    const UINT32 count = static_cast<UINT32>(retryCount);
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Run] _retryCount(%d)", count);
    if (action != RunConditions::Action::Start)
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::Run] On battery: the thread starts when mains power returns.");
        return;
    }
    StartThread(count, false);
}

void ChipAccessHelper::Stop()
{
    if (m_released)
    {
        LogReleased(L"Stop");
        return;
    }
    const std::lock_guard<std::recursive_mutex> guard(m_lock);
    m_conditions.StopWanting();
    m_thread.Stop();
}

void ChipAccessHelper::OnPowerSource(BYTE acLineStatus, INT32 retryCount)
{
    if (m_released)
    {
        LogReleased(L"OnPowerSource");
        return;
    }
    const std::lock_guard<std::recursive_mutex> guard(m_lock);
    switch (m_conditions.PowerSource(acLineStatus))
    {
    case RunConditions::Action::Pause:
        Pause(acLineStatus);
        break;
    case RunConditions::Action::Resume:
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::OnPowerSource] @@@@@ On mains (ACLineStatus 0x%X): detection resumed. @@@@@",
            acLineStatus);
        StartThread(static_cast<UINT32>(retryCount), true);
        break;
    case RunConditions::Action::Start:
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::OnPowerSource] @@@@@ On mains (ACLineStatus 0x%X) after a wake-up: detection starts afresh. @@@@@",
            acLineStatus);
        StartThread(static_cast<UINT32>(retryCount), false);
        break;
    case RunConditions::Action::ResumeAtNextRun:
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::OnPowerSource] @@@@@ On mains (ACLineStatus 0x%X): detection resumes with its next start. @@@@@",
            acLineStatus);
        break;
    default:
        // The same source: a running thread reads at once all the same, as a charger may
        // have been swapped or may have negotiated another mode.
        m_thread.Wake();
        break;
    }
}

void ChipAccessHelper::Pause(BYTE acLineStatus)
{
    VWN_LOGW(
        L"[ChipAccessHelper][ChipAccessHelper::OnPowerSource] @@@@@ On battery (ACLineStatus 0x%X): detection paused. @@@@@",
        acLineStatus);
    m_thread.Stop();
    // A charger plugged in again then shows its toast again, as after an unplug.
    OnChargingType(*m_state, 0);
}

void ChipAccessHelper::StartThread(UINT32 retryCount, bool resumed)
{
    // The thread holds the state itself: it may outlive this object's use of it.
    const std::shared_ptr<DetectionState> state = m_state;
    PollStart start;
    start.retryCount = retryCount;
    start.resumed = resumed;
    m_thread.Start([state, start](HANDLE stopEvent, HANDLE wakeEvent)
                   { return DetectionThreadFunc(*state, stopEvent, wakeEvent, start); });
}

void ChipAccessHelper::Release()
{
    VWN_LOGA("[ChipAccessHelper][ChipAccessHelper::Release] in.");
    if (m_thread.HasThread())
    {
        Stop();
    }
    const bool threadLives = m_thread.HasStuckThread();
    if (threadLives && !m_released)
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::Release] @@@@@ The thread still runs: its event and console stay until it ends !!! @@@@@");
    }
    if (!threadLives)
    {
        m_thread.CloseStopEvent();
    }
    if (m_state->settings.callbacks.unregisterToastIdentity)
    {
        m_state->settings.callbacks.unregisterToastIdentity();
    }
    if (!threadLives)
    {
        m_state->console.CloseConsole();
    }
    m_released = true;
    if (m_state->settings.callbacks.released)
    {
        m_state->settings.callbacks.released();
    }
    VWN_LOGA("[ChipAccessHelper][ChipAccessHelper::Release] out.\n");
}
