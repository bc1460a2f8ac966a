#pragma once

#include "detection/DetectionSettings.h"
#include "detection/DetectionState.h"
#include "detection/DetectionThread.h"
#include "detection/RunConditions.h"

#include <windows.h>

#include <memory>
#include <mutex>
#include <string>

// Reads the charger chip through the vendor's tool, typed into one hidden
// cmd.exe console, and watches the charging type on its own thread. The front
// that the shell drives; the work is done by its parts: the tool console, the
// value file, the charger reading and the detection thread.
class ChipAccessHelper
{
public:
    static ChipAccessHelper& Instance();

    // The shell's choices and reactions; before SetWorkingDir.
    void Configure(DetectionSettings settings);
    // Stores the program folder (ending in a backslash) and registers the notifier
    // identity. Nothing of the tool starts here: the first detection thread on mains
    // starts its console, locates the value file and probes the slave addresses.
    void SetWorkingDir(const std::wstring& workingDir);
    // Starts the detection thread, stopping a running one first; on battery the
    // thread waits for mains power.
    void Run(INT32 retryCount);
    void Stop();
    // A power notice, or the power source (ACLineStatus) first known: battery pauses
    // detection and forgets the charging type; mains resumes it, reading at once. A
    // notice that changes nothing asks a running thread for a read at once.
    void OnPowerSource(BYTE acLineStatus, INT32 retryCount);
    // Gives everything back that no live thread uses; safe to call again.
    void Release();

    ~ChipAccessHelper();
    ChipAccessHelper(const ChipAccessHelper&) = delete;
    ChipAccessHelper& operator=(const ChipAccessHelper&) = delete;

private:
    ChipAccessHelper();

    void StartThread(UINT32 retryCount, bool resumed);
    void Pause(BYTE acLineStatus);

    std::shared_ptr<DetectionState> m_state;
    DetectionThread m_thread;
    RunConditions m_conditions;
    // Held by Run and Stop; the detection thread never takes it.
    std::recursive_mutex m_lock;
    // Run and Stop after Release do nothing.
    bool m_released = false;
};
