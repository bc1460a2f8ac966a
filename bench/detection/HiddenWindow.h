#pragma once

#include <windows.h>

// A hidden window of the given class and a message loop until the window is
// destroyed: what every baseline of the detection benchmark idles in.
// Returns the loop's exit code, or 1 when the window cannot be made.
int RunHiddenWindow(HINSTANCE instance, const wchar_t* className);
