#pragma once

#include "detection/DetectionState.h"

#include <windows.h>

#include <string>

// Reading the charger through the tool: finding the value file, one command per
// read, and the start-up search for the chip's bus address.

// Sets the value file from the tool's "OutputPath.ini" and moves the console into
// the tool folder; true when the folder file was read. A failure keeps both as they were.
bool Preprocessing(DetectionState& state);

// Deletes the value file, types the tool command for `addr` and gives the tool 400 ms.
void SendCommand2SlaveAddress(DetectionState& state, UINT32 addr);

// One try at one address: command, then read. `value` is 0 unless the read succeeded.
bool DoReadPresenceStatus(DetectionState& state, UINT32 addr, const std::wstring& resultFilename,
                          BYTE& value);

// Probes 0x4E, then 0x40, up to three tries each, until one answers, and stores
// its address in `state.slaveAddr`; leaves that alone when none answers.
void DetectSlaveAddress(DetectionState& state);
