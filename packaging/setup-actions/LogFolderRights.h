#pragma once

#include "base/UniqueHandle.h"

#include <windows.h>

#include <string>

// The log folder's owner and rights, made the same way by the NSIS setup and the MSI.
// Owner Administrators, a protected DACL: SYSTEM and Administrators full control; Users
// may list the folder and create files (not folders) in it, read and append to every
// file; whoever created a file has full control of it.
extern const wchar_t* const kLogFolderSddl;

enum class LogFolderResult
{
    Made, // made here, with kLogFolderSddl's owner and DACL
    Kept, // a folder was already there: never vouched for, left as it is
    Failed,
};

// The descriptor of kLogFolderSddl, for LocalFree; empty on failure, the last-error code kept.
UniqueLocalMemory BuildLogFolderDescriptor();

// Makes `folder` (and its parent, with default rights, when missing) with the owner and
// DACL above in one step, so it never exists with rights of its own. On Failed, `error`
// holds the system error code.
LogFolderResult MakeLogFolder(const std::wstring& folder, DWORD& error);
