#pragma once

#include <string>
#include <vector>

// Splits the process's command line as CommandLineToArgvW does; logs the count.
std::vector<std::wstring> GetCmdLineArgs();

// Applies "-retrycount N" and "-showconsole" to the shell globals and logs
// what it found. The first entry is the program path and is never an option.
void ApplyCommandLineOptions(const std::vector<std::wstring>& args);
