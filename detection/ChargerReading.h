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

// Every command: once no earlier tool run goes on, deletes the value file, types the
// tool command for `addr` and waits for the run it starts to end, so that the read
// that follows finds this command's answer. Where the tool is there, its run may
// start up to kRunStartWaitMs late (a scanner holds it); where it is not, after
// kToolAnswerWaitMs none will. A run still going after kHungRunMs is hung: nothing
// is typed past an earlier one (StillGoing, `run` names it).
RunWait SendCommand2SlaveAddress(DetectionState& state, UINT32 addr, StopSignal& stop, DWORD& run);

// One probe at one address.
struct ProbeTry
{
    RunWait run = RunWait::Ended; // how the wait for the tool run went
    DWORD runStillGoing = 0;      // the run that was hung, if one was
    bool answered = false;
    BYTE value = 0;
};

// One probe at one address: the command, then a read once the run it started has
// ended. No read when a run hangs or the thread is stopped.
ProbeTry DoReadPresenceStatus(DetectionState& state, UINT32 addr, const std::wstring& resultFilename,
                              StopSignal& stop);

enum class ProbeEnd
{
    Found,
    NoAnswer, // no chip answered at either address
    RunGoing, // a tool run hung: probing stopped without typing more
    Stopped   // the thread was stopped
};

// Probes 0x4E, then 0x40, up to three tries each, until one answers, and stores
// its address in `state.slaveAddr`; leaves that alone when none answers.
ProbeEnd DetectSlaveAddress(DetectionState& state, StopSignal& stop);
