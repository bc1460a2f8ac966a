#pragma once

#include <string>

namespace bench
{
// Two processes of four threads each write numbered lines through the DLL
// into one rolling file, as two Voltwren instances of different sessions
// would under pressure. Prints, per case, the time of one log call (logger
// fetch and write, as the program makes it) at p50/p99/max, and the lines
// lost, broken or doubled across the rolls.
void RunProcessLoads(const std::wstring& folder);

// The writer process of that load: "--writer PROPERTIES PROCESS LINES PAUSE_MS START_EVENT TIMES_FILE".
constexpr const wchar_t* kWriterSwitch = L"--writer";
int RunLoadWriter(int argc, wchar_t** argv);
} // namespace bench
