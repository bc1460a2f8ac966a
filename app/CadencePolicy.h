#pragma once

#include "detection/DetectionSettings.h"

#include <windows.h>

// The settled cadence as Group Policy or Intune set it for the machine, read once at start from
// HKLM\SOFTWARE\Policies\Tessaly\Voltwren (SettleAfterSeconds, SettledPollSeconds). A value that
// is missing gives its default silently; one that is not a DWORD in its range gives its default
// and a log line naming it. With the key there, one line says the figures in effect.
CadencePolicy ReadCadencePolicy();

// The same from another key, so tests can use a scratch key of their own.
CadencePolicy ReadCadencePolicy(HKEY root, const wchar_t* subKey);
