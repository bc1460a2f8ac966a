#pragma once

#include <windows.h>

#include <string>

// The toast for a new charging type: "Fast Charge Mode On" with the technology
// for 1 (Quick Charge) and 2 (USB PD), the program's icon as its logo; no toast
// for any other type. A refused toast is one log line; it never ends detection.
void ShowChargingTypeToast(BYTE chargingType, const std::wstring& programFolder);
