#pragma once

#include <windows.h>

// The first byte of the tool's value file. Every other byte means no fast charging.
enum class ChargingType : BYTE
{
    QuickCharge = 1,
    UsbPd = 2,
};
