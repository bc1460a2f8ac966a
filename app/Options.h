#pragma once

#include <string>
#include <vector>

// Splits the process's command line as CommandLineToArgvW does; logs nothing.
std::vector<std::wstring> SplitCommandLine();

// The same, and logs the count.
std::vector<std::wstring> GetCmdLineArgs();

// The text of `commandLine` after the program path and the blanks that follow
// it, unchanged: the arguments as a restart must repeat them. The path ends as
// CommandLineToArgvW ends it: at its closing quote, or unquoted at a blank.
std::wstring ArgumentsAfterProgram(const std::wstring& commandLine);

// True when an argument after the program path is "-exit", in any case.
bool HasExitSwitch(const std::vector<std::wstring>& args);

// Applies "-retrycount N" to the shell globals, logs what it found and returns
// whether "-showconsole" asked for detailed mode. The first entry is the program
// path and is never an option.
bool ApplyCommandLineOptions(const std::vector<std::wstring>& args);
