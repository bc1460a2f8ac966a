#pragma once

// Why the program ends, as its last event in the Windows event log names it.
enum class EndReason
{
    Unknown,
    FileExit,
    ExitSwitch,
    Setup,
    SessionEnd,
    GaveUp,
};

// Any thread. The first reason noted stands: a setup's request that comes after the user's
// File, Exit does not rename the end.
void NoteEndReason(EndReason reason);
// Reports the end (event 1001) with the reason noted; once per process.
void ReportEnded();
