#include "detection/DetectionThread.h"

#include "base/NamedEvent.h"
#include "logging/ApacheLogger.h"
#include "logging/LastErrorText.h"

#include <cerrno>
#include <cstdint>
#include <process.h>

namespace
{
constexpr DWORD kStopWaitMs = 4000;

// Everything the new thread uses, owned by the thread itself.
struct ThreadStart
{
    DetectionThread::Body body;
    std::shared_ptr<UniqueHandle> stopEvent;
    std::shared_ptr<UniqueHandle> wakeEvent;
};

unsigned __stdcall ThreadProc(void* argument)
{
    std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(argument));
    return start->body(start->stopEvent->Get(), start->wakeEvent ? start->wakeEvent->Get() : nullptr);
}

unsigned HandleBits(HANDLE handle)
{
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(handle));
}

bool Ends(HANDLE thread, DWORD timeoutMs)
{
    return WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0;
}

void LogUnusableName(DWORD code)
{
    if (code == ERROR_ALREADY_EXISTS)
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::ChipAccessHelper] @@@@@ The event vwn_polling belongs to another program !!! @@@@@");
    }
    else
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::ChipAccessHelper] @@@@@ Unable to create the event vwn_polling !!! @@@@@");
    }
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::ChipAccessHelper] %ws", LastErrorText(code).c_str());
}
} // namespace

void DetectionThread::CreateStopEvent()
{
    NamedEvent created = CreateNamedEvent(L"vwn_polling", false);
    if (!created.event)
    {
        LogUnusableName(created.error);
        // Nothing outside this process opens the event: a name that is taken or
        // unusable must not keep detection from running.
        created.event.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        if (!created.event)
        {
            return;
        }
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::ChipAccessHelper] Going on with an unnamed event.");
    }
    m_stopEvent = std::make_shared<UniqueHandle>(std::move(created.event));
    // Without it a power notice only waits for the next poll.
    UniqueHandle wake(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (wake)
    {
        m_wakeEvent = std::make_shared<UniqueHandle>(std::move(wake));
    }
}

bool DetectionThread::HasStuckThread()
{
    if (m_stuckThread && Ends(m_stuckThread.Get(), 0))
    {
        m_stuckThread.Reset();
    }
    return m_stuckThread.IsValid();
}

bool DetectionThread::MayStart()
{
    if (HasStuckThread())
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::Run] @@@@@ The earlier thread still runs: no second thread is started !!! @@@@@");
        return false;
    }
    if (!m_stopEvent)
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::Run] @@@@@ No event vwn_polling to stop a thread with: no thread is started !!! @@@@@");
        return false;
    }
    return true;
}

void DetectionThread::Start(Body body)
{
    if (!MayStart())
    {
        return;
    }
    // A stop signal left from an earlier Stop must not end the new thread.
    ResetEvent(m_stopEvent->Get());
    if (m_wakeEvent)
    {
        ResetEvent(m_wakeEvent->Get());
    }
    auto* start = new ThreadStart{std::move(body), m_stopEvent, m_wakeEvent};
    m_thread.Reset(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadProc, start, CREATE_SUSPENDED, nullptr)));
    const int creationErrno = errno;
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Run] m_thread = %#08x", HandleBits(m_thread.Get()));
    if (!m_thread)
    {
        delete start;
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Run] @@@@@ Unable to create the thread !!! @@@@@");
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Run] @@@@@ errno(%d)", creationErrno);
        return;
    }
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Run] Executing the thread in progress.\n");
    ResumeThread(m_thread.Get());
}

void DetectionThread::Signal()
{
    if (m_stopEvent)
    {
        SetEvent(m_stopEvent->Get());
    }
}

void DetectionThread::Wake()
{
    if (m_thread && m_wakeEvent)
    {
        SetEvent(m_wakeEvent->Get());
    }
}

void DetectionThread::Stop()
{
    Signal();
    if (!m_thread)
    {
        return;
    }
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Stop] Stopping thread ...");
    if (!Ends(m_thread.Get(), kStopWaitMs))
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Stop] Stopping thread - Retrying ...");
        Signal();
        if (!Ends(m_thread.Get(), kStopWaitMs))
        {
            VWN_LOGW(
                L"[ChipAccessHelper][ChipAccessHelper::Stop] @@@@@ The thread did not end: it keeps what it uses until it ends !!! @@@@@");
            m_stuckThread = std::move(m_thread);
            return;
        }
    }
    m_thread.Reset();
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Stop] Stopping thread - done.");
}
