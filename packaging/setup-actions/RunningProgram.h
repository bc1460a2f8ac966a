#pragma once

#include <functional>
#include <string>

using ProgressLine = std::function<void(const std::wstring&)>;

// Asks a running Voltwren to end through its own File, Exit command and waits for the
// process, as the NSIS setup does. Only instances on this desktop can be reached.
// Returns false when one still runs after the last try.
bool EndRunningProgram(const ProgressLine& progress);

// Starts `programFolder`\Voltwren.exe through the shell, so that it runs as the signed-in
// user and not elevated like the installer. `programFolder` ends with a backslash.
bool StartProgramForTheUser(const std::wstring& programFolder);
