#pragma once

#include "detection/DetectionSettings.h"
#include "detection/ToolConsole.h"

#include <windows.h>

#include <atomic>
#include <string>

constexpr UINT32 kNoSlaveAddress = 0xFFFFFFFF;

// What ChipAccessHelper and its polling thread share. Both hold it by shared
// pointer, so a thread that does not end when it is stopped never touches freed
// memory. The main thread writes the folder, the value file and the address
// before a thread starts; a running thread rewrites the value file at its start,
// and both it and the address when it probes again at a resend, while the main
// thread leaves them alone.
struct DetectionState
{
    DetectionSettings settings;
    // The program folder, ending in a backslash.
    std::wstring workingDir;
    ToolConsole console;
    // The value file "ManualRead.bin"; empty until the tool's folder file was read once.
    std::wstring resultFilename;
    UINT32 slaveAddr = kNoSlaveAddress;
    // The last charging type read; survives a stop and restart of the thread.
    std::atomic<BYTE> chargingType{0};
    // Failed reads in a row when the last thread ended; a pause keeps counting them.
    UINT32 retryIndexAtStop = 0;
    // When the last tool command was typed (GetTickCount64), for the cycle's spacing.
    ULONGLONG lastCommandAt = 0;
    // The address was looked for by a thread that was not stopped meanwhile.
    bool probed = false;

    std::wstring ToolFolder() const { return workingDir + L"ITE inboxI2C Flash\\"; }
};
