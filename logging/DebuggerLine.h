#pragma once

// Formats one line for a debugger viewer and sends it with OutputDebugStringW.
// The line is built in 260 characters: a longer one is cut, never overrun.
// For the few lines that must be seen when no log library is bound.
void DebuggerLine(const wchar_t* format, ...);
