// The baseline for the detection benchmark: an idle Win32 program with a
// hidden window and a message loop, started the way Voltwren is.
#include "HiddenWindow.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    return RunHiddenWindow(instance, L"VWN_IDLE_BASELINE");
}
