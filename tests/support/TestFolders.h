#pragma once

#include "base/TextCodec.h"

#include <windows.h>

#include <string>
#include <vector>

// The folder holding the test executable (the build's bin folder), with a trailing backslash.
std::wstring BinFolder();

inline bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The parts of `text` between separators: one more than there are separators.
template <typename Text> std::vector<Text> Split(const Text& text, typename Text::value_type separator)
{
    std::vector<Text> parts;
    size_t start = 0;
    for (size_t end; (end = text.find(separator, start)) != Text::npos; start = end + 1)
    {
        parts.push_back(text.substr(start, end - start));
    }
    parts.push_back(text.substr(start));
    return parts;
}

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
