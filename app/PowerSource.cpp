#include "app/PowerSource.h"

namespace
{
constexpr BYTE kUnknownLineStatus = 255;
} // namespace

BYTE CurrentACLineStatus()
{
    SYSTEM_POWER_STATUS status = {};
    return GetSystemPowerStatus(&status) ? status.ACLineStatus : kUnknownLineStatus;
}
