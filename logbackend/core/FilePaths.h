#pragma once

#include <windows.h>

#include <string>

namespace vwnlog
{
// True for a name without a drive or a leading separator.
bool IsRelative(const std::wstring& path);
// The full form of a path, and the folder part of a full path.
std::wstring FullPathOf(const std::wstring& path);
std::wstring FolderOf(const std::wstring& path);
// A full path with its 8.3 names expanded (GetLongPathNameW), as a final path names them;
// unchanged when the file is not there yet (a short folder name is the folder handle's to expand).
std::wstring LongPathOf(const std::wstring& path);
// Makes every missing folder of a full path; returns a Win32 error or 0.
DWORD CreateFolders(const std::wstring& folder);

bool Exists(const std::wstring& path);
// The error says that the file or a folder of its path is not there.
bool IsMissing(DWORD error);
} // namespace vwnlog
