#pragma once

#include <windows.h>

#include <string>

// The toast for a new charging type: "Fast Charge Mode On" with the type's line
// from detection/ChargingType.h and the program's icon as its logo; no toast for
// a type without a line. A refused toast is one log line; it never ends detection.
void ShowChargingTypeToast(BYTE chargingType, const std::wstring& programFolder);
