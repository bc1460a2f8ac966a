#pragma once

#include "base/TrustedOwner.h"
#include "base/UniqueHandle.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

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
    Kept,     // a trusted folder was there, and stays with what it holds
    Taken,    // a folder of another owner now has owner Administrators and a DACL of its own
    Replaced, // a link or a folder of another owner was removed, never followed, and made afresh
    Refused,  // left as it was found, and nothing beyond it touched: the setup fails
};

// Why, where the result alone does not say it.
enum class FolderReason
{
    None,
    AsItIs,         // Kept: C:\ProgramData\Tessaly of Administrators, SYSTEM or a service, unchanged
    RightsSetAgain, // Kept: the log folder, its links removed, its owner and DACL set again
    OtherOwner,     // Taken (C:\ProgramData\Tessaly) or Replaced (the log folder)
    HeldOpen,       // Taken in place (the log folder: a program holds it open) or Refused
    Link,           // Replaced (the log folder) or Refused (C:\ProgramData\Tessaly): a link or junction
    OpensAsTarget,  // Refused: a link that the platform opens only as what it points to (Wine 8)
    NotAFolder,     // Refused: a plain file
    NotAtItsPath,   // Refused: a folder was made in the held parent, but its path no longer leads to it
    Failed,         // Refused: a step failed with `error`
};

// An entry that was left in a kept or taken log folder although it is a link or one name of a
// file with others, with the error that kept it there.
struct LeftEntry
{
    std::wstring name;
    DWORD error;
};

// What became of one folder, as one value: the setup log's line and any other report are made
// from it alone.
struct FolderOutcome
{
    FolderResult result = FolderResult::Refused;
    FolderReason reason = FolderReason::Failed;
    DWORD error = ERROR_SUCCESS;       // the system error of a refusal, or why a folder was taken in place
    std::vector<std::wstring> removed; // links and extra names removed from a kept or taken log folder
    std::vector<LeftEntry> left;
};

// The setup log's line for one folder: what was done and why, the error when refused, and the
// entries removed from it or left in it.
std::wstring FolderLine(const std::wstring& path, const FolderOutcome& outcome);

// Called once for each folder reached, the parent first.
using FolderReport = std::function<void(const std::wstring& path, const FolderOutcome& outcome)>;

// The descriptor of kLogFolderSddl, for LocalFree; empty on failure, the last-error code kept.
UniqueLocalMemory BuildLogFolderDescriptor();

// Makes `folder`'s parent (C:\ProgramData\Tessaly, the maker's folder, which other products may
// share) and then `folder`, with the setup's backup and restore privileges enabled.
// - The parent is opened, or made, through a handle on C:\ProgramData, and held from its judgement
//   until `folder` is settled: with FILE_LIST_DIRECTORY and without delete sharing, so that nobody
//   renames it or swaps a link in meanwhile (Windows applies sharing to opens with data access only,
//   and renames no folder that holds an open one). A program that holds it for deletion or renaming
//   is a refusal. It is never removed, and nothing in it changes but `folder`: one that
//   Administrators, SYSTEM or a service account own is kept as it is; one of another owner is taken
//   (owner Administrators, kParentFolderSddl); a link or junction there is refused.
// - `folder` is opened, judged and made by name within the held parent, never by its path. A
//   trusted one is kept with its logs, after the links and extra names of files in it are removed;
//   a link is removed as a link; a folder of another owner is removed without following the links
//   inside it, or taken in place like a kept one when a program holds it open. A link that the
//   platform opens only as its target (Wine 8) is refused with ERROR_STOPPED_ON_SYMLINK, a plain
//   file with ERROR_ALREADY_EXISTS.
// Every later step goes through a handle held since the judgement, and rights are set on a folder
// itself, never handed on to what it holds. A folder made is reported "Made" only where its path
// leads to it. `report` runs for the parent while it is held, before `folder` is reached.
// Returns ERROR_SUCCESS when both folders stand, otherwise the system error of the refusal.
DWORD MakeLogFolder(const std::wstring& folder, const FolderReport& report,
                    const OwnerRule& trusted = IsTrustedOwner);
