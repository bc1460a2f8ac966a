#pragma once

#include <string>

// The log file that the properties at `propertiesPath` name, for the start's event: the
// File of the first appender that has one, as written there (a ${NAME} stays), a relative
// name taken in the properties' folder as the log library takes it. Empty when the file
// cannot be read or names none. The program does not learn from its log library where the
// lines go; this is where the properties send them.
std::wstring ConfiguredLogFile(const std::wstring& propertiesPath);
