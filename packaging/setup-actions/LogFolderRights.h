#pragma once

#include "base/TrustedOwner.h"
#include "base/UniqueHandle.h"

#include <windows.h>

#include <string>

// The log folder's owner and rights, made the same way by the NSIS setup and the MSI.
// Owner Administrators, a protected DACL: SYSTEM and Administrators full control. Users
// may list the folder and create files (not folders) in it, but not change, rename or
// delete the folder or its rights. Every file in it may be read, written, emptied,
// renamed and deleted by every user, so that any account's Voltwren can roll the log;
// the owner of a file gets no more than that (no rights of its own over the file's DACL).
extern const wchar_t* const kLogFolderSddl;

enum class LogFolderResult
{
    Made,     // made here, with kLogFolderSddl's owner and DACL
    Kept,     // a trusted folder was already there: kept with its logs, its DACL set again
    Replaced, // a link, or a folder of another owner, was removed and the folder made afresh
    Failed,
};

// The descriptor of kLogFolderSddl, for LocalFree; empty on failure, the last-error code kept.
UniqueLocalMemory BuildLogFolderDescriptor();

// Makes `folder` (and its parent, with default rights, when missing) with the owner and
// DACL above in one step, so it never exists with rights of its own. A link at the path
// is removed as a link, never followed; a distrusted folder is removed without following
// the links inside it. On Failed, `error` holds the system error code.
LogFolderResult MakeLogFolder(const std::wstring& folder, DWORD& error);
