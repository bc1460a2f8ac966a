#pragma once

#include "base/UniqueHandle.h"

#include <windows.h>

#include <string>
#include <vector>

// Not in this toolchain's headers: "The create operation stopped after reaching a symbolic link."
constexpr DWORD kErrorStoppedOnSymlink = 681;

// The path a handle really reaches (GetFinalPathNameByHandleW, "\\?\C:\..."); empty on failure,
// the last-error code kept. A link that the platform went through shows up as a path other
// than the one its parent folder lists it at: under Wine 8 the only sign of a followed link.
// VOLUME_NAME_NT gives "\Device\HarddiskVolume1\..." where a volume has no drive letter.
std::wstring FinalPath(HANDLE handle, DWORD volumeName = VOLUME_NAME_DOS);
// Compared as Windows compares names; an empty path equals nothing.
bool SamePath(const std::wstring& a, const std::wstring& b);
// `name` in `folder`, with one backslash between them.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);

// Deletes the name that `entry` (opened with DELETE) was opened by. With POSIX semantics (Windows 10
// 1607 on) the name goes at once, even while the file behind it is open elsewhere, so a new entry
// may take its place; otherwise (Wine 8 answers ERROR_INVALID_PARAMETER) it goes when the last
// handle opened by it closes. A read-only entry stays (ERROR_ACCESS_DENIED). Win32 error or ERROR_SUCCESS.
DWORD DeleteThroughHandle(HANDLE entry);
// The same for a file or a folder that may be read-only. Where the platform refuses to ignore the
// attribute (before Windows 10 1809, and Wine 8), it is cleared through a handle on the same entry
// for the one try, and set again after it, for a file that keeps other names.
DWORD DeleteEvenIfReadOnly(HANDLE entry);

// How OpenInFolder treats the name it is given.
enum class InFolder
{
    Open,       // the entry that is there, whatever it is
    OpenOrMake, // the folder that is there, or a new one; ERROR_DIRECTORY for anything else
    Make,       // a new folder; ERROR_ALREADY_EXISTS when anything is there
};
struct OpenedInFolder
{
    UniqueFile handle;
    DWORD error = ERROR_SUCCESS;
    bool made = false;
};
// `name` (one component) in the folder that `folder` is, whatever the folder's path names by now
// (NtCreateFile with `folder` as its root), with backup intent. The entry itself is opened, never
// what a link there points to, where the platform honours that (Wine 8 goes through a link it
// made from a Unix one: its final path tells). A folder made gets `descriptor`, owner and DACL
// in the one step.
OpenedInFolder OpenInFolder(HANDLE folder, const std::wstring& name, InFolder how, DWORD access, DWORD share,
                            PSECURITY_DESCRIPTOR descriptor = nullptr);

struct ListedEntry
{
    std::wstring name;
    DWORD attributes;
};
// The entries of the directory that `directory` (opened with FILE_LIST_DIRECTORY) is, without "."
// and "..": the listing of that very directory, whatever its path now names. Win32 error or ERROR_SUCCESS.
DWORD ListDirectoryThrough(HANDLE directory, std::vector<ListedEntry>& entries);

// Throws std::filesystem::filesystem_error "remove_all" carrying path and the system error code.
[[noreturn]] void ThrowRemoveAll(const std::wstring& path, DWORD code);

// Deletes path and everything below it, read-only entries too. Links and junctions are removed
// as links, never walked into; where the platform cannot remove a link without reaching its
// target, nothing is deleted there and the call fails with ERROR_STOPPED_ON_SYMLINK. Every entry
// below the path is opened through the handle of the folder that lists it.
// Throws std::filesystem::filesystem_error "remove_all" carrying path.
void RemoveTreeWithoutFollowingLinks(const std::wstring& path);
// The same for the folder that `folder` is (opened as the entry itself with DELETE,
// FILE_LIST_DIRECTORY and FILE_READ_ATTRIBUTES), whatever its path names by now. Win32 error or
// ERROR_SUCCESS.
DWORD RemoveTreeThrough(HANDLE folder);
