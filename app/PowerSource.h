#pragma once

#include <windows.h>

// Windows' ACLineStatus: 0 offline (battery), 1 online (mains), 255 unknown,
// also when the status cannot be read.
BYTE CurrentACLineStatus();
