#pragma once

#include "detection/DetectionState.h"

#include <windows.h>

// The detection thread's work until `stopEvent` is set: about once every 1.4 s a
// command and a read, each change of charging type handed to the shell, and,
// after retryCount + 1 failed reads in a row, the shell asked to end. Returns 1
// when it gave up, else 0.
unsigned DetectionThreadFunc(DetectionState& state, HANDLE stopEvent, UINT32 retryCount);

// A read of `value`: when it differs from the charging type remembered, logs the
// change, tells the shell and remembers it.
void OnChargingType(DetectionState& state, BYTE value);
