#pragma once

#include <windows.h>

// The program's child processes, seen from outside as a user or a crash would see them.

// Any parent, for ChildProcessOf.
constexpr DWORD kAnyParent = 0xFFFFFFFF;

// A process that `parentId` started, by its file name; waits up to timeoutMs for it. 0 when none.
DWORD ChildProcessOf(DWORD parentId, const wchar_t* name, DWORD timeoutMs = 0);

// True when the process is gone, or ends within the timeout.
bool ProcessEnds(DWORD processId, DWORD timeoutMs);

// Ends a process from outside, as a crash or the task manager would; waits until it is gone.
bool Terminate(DWORD processId);
