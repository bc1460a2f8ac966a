#pragma once

#include "detection/DetectionState.h"

#include <windows.h>

struct PollStart
{
    // Failed reads in a row tolerated after the first.
    UINT32 retryCount = 0;
    // Back from a pause on battery: the console and the value file are as they
    // were, so the first read comes at once, and the failed reads counted before
    // the pause still count.
    bool resumed = false;
};

// The detection thread's work until `stopEvent` is set: about once every 1.4 s a
// command and a read, each change of charging type handed to the shell, and,
// after retryCount + 1 failed reads in a row, the shell asked to end. Returns 1
// when it gave up, else 0.
unsigned DetectionThreadFunc(DetectionState& state, HANDLE stopEvent, const PollStart& start);

// A read of `value`: when it differs from the charging type remembered, logs the
// change, tells the shell and remembers it.
void OnChargingType(DetectionState& state, BYTE value);
