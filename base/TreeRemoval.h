#pragma once

#include <windows.h>

#include <string>

// Not in this toolchain's headers: "The create operation stopped after reaching a symbolic link."
constexpr DWORD kErrorStoppedOnSymlink = 681;

// Throws std::filesystem::filesystem_error "remove_all" carrying path and the system error code.
[[noreturn]] void ThrowRemoveAll(const std::wstring& path, DWORD code);

// Deletes path and everything below it. Links and junctions are removed as links,
// never walked into; where the platform cannot remove a link without reaching its
// target, nothing is deleted there and the call fails with ERROR_STOPPED_ON_SYMLINK.
// Throws std::filesystem::filesystem_error "remove_all" carrying path.
void RemoveTreeWithoutFollowingLinks(const std::wstring& path);
