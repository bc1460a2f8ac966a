#pragma once

#include <windows.h>

#include <string>

// The tool's two files: "OutputPath.ini" in the tool folder names the folder of
// "ManualRead.bin", whose first byte is the charging type. Plain functions over
// paths and bytes; the detailed lines are written only when asked for.

// The folder "OutputPath.ini" names: its bytes as UTF-8 up to the first zero
// byte, untrimmed (a line break or a byte-order mark stays in the path).
std::wstring ValueFolderFromIniBytes(const std::string& bytes);

// Reads toolFolder + "OutputPath.ini". False, with one line, when it cannot be
// opened or read or is larger than 64 KiB; `valueFolder` is then left alone.
bool GetValueFileFolder(const std::wstring& toolFolder, bool detailedLog, std::wstring& valueFolder);

// Deletes the value file before a command; a failure is logged with its code and ignored.
void DeleteTargetFile(const std::wstring& resultFilename, bool detailedLog);

// True when the file could be opened and read; `value` is then its first byte
// (0 for an empty file), else 0. A file that the tool still holds without read
// sharing fails at once.
bool ReadQcPdPresenceStatusFromFile(const std::wstring& resultFilename, BYTE& value);
