#pragma once

#include "base/TrustedOwner.h"
#include "base/UniqueHandle.h"

#include <windows.h>

#include <functional>
#include <string>

// The log folder's owner and rights, made the same way by the NSIS setup and the MSI.
// Owner Administrators, a protected DACL: SYSTEM and Administrators full control. Users
// may list the folder and create files (not folders) in it, but not change, rename or
// delete the folder or its rights. Every file in it may be read, written, emptied,
// renamed and deleted by every user, so that any account's Voltwren can roll the log;
// the owner of a file gets no more than that (no rights of its own over the file's DACL).
extern const wchar_t* const kLogFolderSddl;

// The folder above it (C:\ProgramData\Tessaly), where any user could otherwise make a folder
// or a link of their own: owner Administrators, a protected DACL: SYSTEM and Administrators
// full control, Users read and traverse this folder only. No user can add anything beside
// the log folder, nor rename, delete or re-point it.
extern const wchar_t* const kParentFolderSddl;

enum class FolderResult
{
    Made,     // made here, with its owner and DACL in one step
    Kept,     // a trusted folder was there: kept with what it holds, its owner and DACL set again
    Replaced, // a link or a folder of another owner was removed, never followed, and made afresh
    Refused,  // left as it was found, and nothing beyond it touched: the setup fails
};

// The setup log's line for one folder: which of the four it was, with the error when refused.
std::wstring FolderLine(const std::wstring& path, FolderResult result, DWORD error);

// Called once for each folder reached, the parent first; `error` is set when Refused.
using FolderReport = std::function<void(const std::wstring& path, FolderResult result, DWORD error)>;

// The descriptor of kLogFolderSddl, for LocalFree; empty on failure, the last-error code kept.
UniqueLocalMemory BuildLogFolderDescriptor();

// Makes `folder`'s parent and then `folder`, each with its owner and DACL above, judging
// what is already there through a handle on the entry itself and setting its rights through
// that same handle, so nothing can be swapped in between. A link at either path is removed as
// a link and never followed; where the platform opens only a link's target (Wine 8), the
// setup refuses with ERROR_STOPPED_ON_SYMLINK. A folder of another owner is removed without
// following the links inside it; a plain file is refused. Returns ERROR_SUCCESS when both
// folders stand, otherwise the system error of the refusal.
DWORD MakeLogFolder(const std::wstring& folder, const FolderReport& report,
                    OwnerRule trusted = IsTrustedOwner);
