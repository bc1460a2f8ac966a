#pragma once

#include <windows.h>

// "-exit": ends the Voltwren whose main window is on this desktop the way File, Exit
// does, and waits for its process. Returns this process's exit code: 0 when it ended,
// 1 when none runs here or it did not end in time; a failure is told in one line.
// It logs nothing and takes no mutex: the running one owns the log and the mutex.
int ExitRunningProgram(HINSTANCE instance);
