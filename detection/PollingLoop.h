#pragma once

#include "detection/DetectionState.h"

#include <windows.h>

struct PollStart
{
    // Failed reads in a row tolerated after the first.
    UINT32 retryCount = 0;
    // Back from a pause on battery: the console and the value file are as they
    // were, so the first poll comes at once with a command, and the failed reads
    // counted before the pause still count.
    bool resumed = false;
};

// The detection thread's work until `stopEvent` is set. The first thread on mains
// starts the tool's console and looks for the chip. Then a command, and a read as
// soon as the tool run it started has ended, each change of charging type handed to
// the shell; the next command a second after the read, and no sooner than 1.4 s
// after the one before. After a failed read the next poll only reads again, a
// second later, except after every 5th failed read in a row: then the command goes
// out again, through a fresh console when the old one is gone or its run hung, after
// probing again when the chip was never found; a tool run still young is left to
// answer instead. After retryCount + 1 failed reads in a row the shell is asked to
// end. Every wait ends at once when `stopEvent` is set. Returns 1 when it gave up, else 0.
// On mains the cadence settles when nothing changes (detection/Cadence.h); `wakeEvent`
// asks for a read at once and the active cadence again.
unsigned DetectionThreadFunc(DetectionState& state, HANDLE stopEvent, HANDLE wakeEvent,
                             const PollStart& start);

// A read of `value`: when it differs from the charging type remembered, logs the
// change, tells the shell and remembers it.
void OnChargingType(DetectionState& state, BYTE value);
