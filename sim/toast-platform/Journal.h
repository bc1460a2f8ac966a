#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

namespace Platform
{

// Appends one line to the journal: the local time, then `fields`, separated
// by TAB, in UTF-8, ended by LF. TAB, CR and LF inside a field are written as
// XML character references, so a record always stays one line.
// The journal is the Windows path in VWN_TOAST_JOURNAL, or toast-journal.txt
// beside this DLL.
void AppendJournalRecord(std::initializer_list<std::wstring> fields);

// While the file named by VWN_TOAST_FAIL_FILE exists, Show is refused with the
// HRESULT written in it (hex text such as 0x80070005). Returns false when the
// switch is off.
bool ShowRefusal(HRESULT& code);

// The milliseconds that Show takes before it answers, from VWN_TOAST_SHOW_DELAY_MS
// (0 when unset): a platform that keeps its caller waiting.
DWORD ShowDelayMs();

// A line for a debugger, in the form the program's own debugger lines take.
void DebugLine(const wchar_t* format, ...);

} // namespace Platform
