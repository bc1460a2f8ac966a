#pragma once

#include "base/TextCodec.h"

#include <windows.h>

#include <string>

// The folder holding the test executable (the build's bin folder), with a trailing backslash.
std::wstring BinFolder();

std::string ReadFileBytes(const std::wstring& path);
bool WriteFileBytes(const std::wstring& path, const std::string& bytes);

// A fresh folder under the temporary folder, removed with all its contents at the end.
class TempFolder
{
public:
    // parent: a folder with a trailing backslash, or empty for the temporary folder.
    explicit TempFolder(const std::wstring& hint = L"vwn", const std::wstring& parent = L"");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // With a trailing backslash.
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
};

void RemoveTree(const std::wstring& path);

// The folder that a wrapper script names in an environment variable, with a trailing backslash.
// When the variable is not set: empty, and a fatal failure that names the script to run through.
std::wstring ScriptFolder(const wchar_t* variable, const char* script);
