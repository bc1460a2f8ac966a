#include "logging/DetailedLog.h"

bool g_showConsole = false;
