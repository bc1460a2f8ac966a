#include "detection/StopSignal.h"

bool StopSignal::Wait(DWORD ms)
{
    if (!m_stopped && m_event == nullptr)
    {
        Sleep(ms);
    }
    else if (!m_stopped)
    {
        m_stopped = WaitForSingleObject(m_event, ms) == WAIT_OBJECT_0;
    }
    return m_stopped;
}

bool StopSignal::WaitFor(HANDLE object, DWORD ms)
{
    if (m_stopped)
    {
        return false;
    }
    if (m_event == nullptr)
    {
        return WaitForSingleObject(object, ms) == WAIT_OBJECT_0;
    }
    // The stop comes first: when both are signalled, the thread stops.
    const HANDLE objects[] = {m_event, object};
    const DWORD waited = WaitForMultipleObjects(2, objects, FALSE, ms);
    m_stopped = waited == WAIT_OBJECT_0;
    return waited == WAIT_OBJECT_0 + 1;
}

StopSignal::PollWait StopSignal::WaitForPoll(DWORD ms)
{
    if (m_wake == nullptr || m_stopped)
    {
        return Wait(ms) ? PollWait::Stopped : PollWait::TimedOut;
    }
    return WaitFor(m_wake, ms) ? PollWait::Woken : (m_stopped ? PollWait::Stopped : PollWait::TimedOut);
}
