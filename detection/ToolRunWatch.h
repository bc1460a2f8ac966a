#pragma once

#include "base/UniqueHandle.h"
#include "detection/StopSignal.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// The tool's image: only its processes are runs.
constexpr const wchar_t* kToolImage = L"ITERHPGen.exe";

// How a tool run that was waited for went.
enum class RunWait
{
    Ended,
    NoneStarted, // the command started no run: cmd.exe found no tool, or it was held back
    StillGoing,  // hung: it has run for kHungRunMs
    Stopped      // the detection thread was stopped meanwhile
};

// The tool's runs in the console's job, seen through the job's process list. A run
// is a process of the tool's own image: the console's host, Wine's explorer.exe or
// anything a run leaves behind is neither awaited nor ended as a hung run. A run's
// age counts from the tick it was first seen, never from the wall clock, which a
// user, the time service or a wake-up may set back or forward.
class ToolRunWatch
{
public:
    // A fresh console's job (null for none); the runs of the one before are forgotten.
    void Watch(HANDLE job, DWORD consoleProcessId);

    // Tool runs started in the job so far. A process that came and went between two
    // looks is counted as a run: no other process of the job is that short-lived.
    unsigned RunsStarted();
    // The oldest tool run still going, or 0.
    DWORD RunGoing();
    bool IsHung(DWORD run) const;
    // "ITERHPGen.exe (process 1234, running for 5 s)": what a log line names a run by.
    std::wstring Describe(DWORD run) const;

    // Waits until no tool run is going, or the one going is hung; `run` then names it, else 0.
    RunWait WaitUntilNoRun(StopSignal& stop, DWORD& run);
    // After a command typed when RunsStarted() was `runsBefore`: waits at most startWaitMs
    // for the run it starts, counted from when the console took the line (`unread` tells
    // whether it has not yet; kHungRunMs at most), then until that run has ended or is hung.
    RunWait WaitForRunOf(unsigned runsBefore, DWORD startWaitMs, const std::function<bool()>& unread,
                         StopSignal& stop, DWORD& run);

private:
    struct Seen
    {
        DWORD id = 0;
        // Held while listed, so that the id cannot be reused meanwhile.
        UniqueHandle process;
        bool toolRun = false;
        ULONGLONG firstSeen = 0;
    };

    void Look();
    const Seen* Find(DWORD id) const;
    unsigned Started() const;
    const Seen* Going() const;

    HANDLE m_job = nullptr;
    DWORD m_console = 0;
    std::vector<Seen> m_seen;
    unsigned m_toolRunsSeen = 0;
    unsigned m_othersSeen = 0;
    // Processes listed at the last look that could not be named yet.
    unsigned m_unnamed = 0;
    unsigned m_total = 0;
};
