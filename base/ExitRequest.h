#pragma once

#include <windows.h>

// How others ask Voltwren's main window to end: WM_COMMAND with File, Exit's command id in
// the low word of wParam and who asks in the high word, so that the program can tell the
// event log why it ended. A menu puts 0 in the high word: an older sender's request reads
// as File, Exit. An older program looks at the low word only and ends alike for every sender.
constexpr WORD kExitCommand = 105;
constexpr WORD kExitAskedBySwitch = 0x5601; // Voltwren.exe -exit
constexpr WORD kExitAskedBySetup = 0x5602;  // a setup that replaces or removes the files

constexpr WPARAM ExitRequest(WORD askedBy)
{
    return static_cast<WPARAM>(kExitCommand) | (static_cast<WPARAM>(askedBy) << 16);
}
