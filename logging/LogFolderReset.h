#pragma once

#include "base/TrustedOwner.h"

#include <windows.h>

#include <string>

// The machine-wide log folder that the installer creates, elevated, for the log library.
constexpr const wchar_t* kLogFolderPath = L"C:\\ProgramData\\Tessaly\\Voltwren";
// Below this folder a standard user may create folders, and links, of their own.
constexpr const wchar_t* kUserCreatableRoot = L"C:\\ProgramData";

// Lines the reset sends to the debugger around a deletion.
constexpr const wchar_t* kRemoveAllLine = L"[ApacheLogger][Init] remove_all() ...";
constexpr const wchar_t* kRemoveAllDoneLine = L"[ApacheLogger][Init] remove_all() ... Done.";

// Leaves the log folder either absent or a directory owned by Administrators or
// LocalSystem whose DACL has no entry for Everyone and inherits nothing. Anything
// else at the path (a folder of another owner, a file, a link) is deleted first.
// A link on the way there, below userCreatableRoot, could lead the reset and the
// log elsewhere: the folder is then not trusted and nothing is deleted.
// Throws std::filesystem::filesystem_error: "exists" when the path cannot be
// tested, "remove_all" when the deletion fails or a link lies above the folder.
// Every other failure is silent.
void ResetLogFolder();
// userCreatableRoot: a folder above path, or empty to check nothing above path.
void ResetLogFolderAt(const std::wstring& path, const std::wstring& userCreatableRoot = L"");

// Removes every entry for Everyone from the descriptor's DACL, allow and deny,
// explicit and inherited, keeps the others in their order, and marks the DACL
// protected: the state a kept folder is written back in. False, with nothing
// changed, when there is no DACL to edit (none, or a null DACL).
bool ProtectDaclWithoutEveryone(PSECURITY_DESCRIPTOR descriptor);
