#pragma once

#include <windows.h>

// The detection thread's stop, handed down to every wait of a poll, a resend, a
// console's start and the probes, so that a stop ends the thread at once,
// whatever it is doing. The stop event is auto-reset: the wait that sees it
// consumes it, so the stop is latched here for every wait after it. Without an
// event (the window's thread at start-up) the waits are plain bounded ones.
// Belongs to one thread at a time.
class StopSignal
{
public:
    // How the wait before a poll ended.
    enum class PollWait
    {
        TimedOut,
        Woken, // a power notice asks for a read at once
        Stopped
    };

    StopSignal() = default;
    explicit StopSignal(HANDLE event, HANDLE wake = nullptr) : m_event(event), m_wake(wake) {}

    // Waits `ms`, less when the thread is stopped meanwhile; true when it is stopped.
    bool Wait(DWORD ms);
    // Waits until `object` is signalled, `ms` have passed or the thread is
    // stopped; true when the object was signalled.
    bool WaitFor(HANDLE object, DWORD ms);
    // The wait before a poll: `ms`, less when the thread is stopped or woken meanwhile.
    PollWait WaitForPoll(DWORD ms);
    bool Stopped() const { return m_stopped; }

private:
    HANDLE m_event = nullptr;
    HANDLE m_wake = nullptr;
    bool m_stopped = false;
};
