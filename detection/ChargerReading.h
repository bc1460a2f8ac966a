#pragma once

#include "detection/DetectionState.h"
#include "detection/StopSignal.h"

#include <windows.h>

#include <string>

// Reading the charger through the tool: finding the value file, one command per
// read, and the search for the chip's bus address.

// Sets the value file from the tool's "OutputPath.ini" and moves the console into
// the tool folder; true when the folder file was read. A failure keeps both as they were.
bool Preprocessing(DetectionState& state, StopSignal& stop);

// Deletes the value file, types the tool command for `addr` and gives the tool 400 ms.
void SendCommand2SlaveAddress(DetectionState& state, UINT32 addr, StopSignal& stop);

// One probe at one address.
struct ProbeTry
{
    RunWait run = RunWait::Ended; // how the wait for the tool run went
    DWORD runStillGoing = 0;      // the run that outlasted the wait, if one did
    bool answered = false;
    BYTE value = 0;
};

// One probe at one address: once no earlier run goes on, the command, then a read
// once the run it started has ended, waiting at most runWaitMs for either. No read
// when a run outlasts the wait or the thread is stopped.
ProbeTry DoReadPresenceStatus(DetectionState& state, UINT32 addr, const std::wstring& resultFilename,
                              DWORD runWaitMs, StopSignal& stop);

enum class ProbeEnd
{
    Found,
    NoAnswer, // no chip answered at either address
    RunGoing, // a tool run outlasted a probe's wait: probing stopped without typing more
    Stopped   // the thread was stopped
};

// Probes 0x4E, then 0x40, up to three tries each, until one answers, and stores
// its address in `state.slaveAddr`; leaves that alone when none answers.
ProbeEnd DetectSlaveAddress(DetectionState& state, DWORD runWaitMs, StopSignal& stop);
