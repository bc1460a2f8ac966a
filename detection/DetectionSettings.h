#pragma once

#include "detection/PollingFigures.h"

#include <windows.h>

#include <functional>
#include <string>

// What the shell hands detection before it starts: choices as values and its
// own reactions as callbacks, so detection never reaches into the shell.
struct DetectionCallbacks
{
    // The detection thread read a charging type (detection/ChargingType.h) that
    // differs from the last one.
    std::function<void(BYTE chargingType)> chargingTypeChanged;
    // The tool gave no value more times in a row than the retry count allows.
    std::function<void()> gaveUp;
    // Release has given everything back; called by every Release.
    std::function<void()> released;
    // The toast identity: registered once the program folder is known, removed at every Release.
    std::function<void(const std::wstring& programFolder)> registerToastIdentity;
    std::function<void()> unregisterToastIdentity;
};

// How the cadence settles on mains when nothing changes: what IT departments may set.
struct CadencePolicy
{
    // 0: never settles.
    DWORD settleAfterMs = kSettleAfterMs;
    DWORD settledPollMs = kSettledPollMs;
};

struct DetectionSettings
{
    // Detailed mode: lines with paths, commands and readings, and a visible tool console.
    bool detailedLog = false;
    DetectionCallbacks callbacks;
    CadencePolicy cadence;
};
