#pragma once

#include <windows.h>

// The first byte of the tool's value file. The types below are the fast ones;
// every other byte means no fast charging, and brings no toast.
enum class ChargingType : BYTE
{
    QuickCharge = 1,
    UsbPd = 2,
};

// The toast line that names the technology; null for a byte that names none.
constexpr const wchar_t* ChargingTypeToastLine(BYTE chargingType)
{
    switch (static_cast<ChargingType>(chargingType))
    {
    case ChargingType::QuickCharge:
        return L"Charging with Quick Charge (QC) technology.";
    case ChargingType::UsbPd:
        return L"Charging with USB Power Delivery (USB PD) technology.";
    }
    return nullptr;
}
