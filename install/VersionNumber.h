#pragma once

#include <string>

// The installed product version from the installer's registry entries, in the
// system's ANSI code page; "NaN" when none can be read. Read once, then cached.
// detailedLog: the lookup that reads sends the opened key's path to the debugger.
std::string getVersionNumber(bool detailedLog);

// The installer's product key name, shared by the uninstall and dependency entries.
constexpr const char* kProductKeyName = "{6D2A41C8-3F07-4B95-A1E2-58C09D7B3E14}";
