#pragma once

#include <string>
#include <vector>

// Splits the process's command line as CommandLineToArgvW does; logs the count.
std::vector<std::wstring> GetCmdLineArgs();

// Applies "-retrycount N" to the shell globals, logs what it found and returns
// whether "-showconsole" asked for detailed mode. The first entry is the program
// path and is never an option.
bool ApplyCommandLineOptions(const std::vector<std::wstring>& args);
