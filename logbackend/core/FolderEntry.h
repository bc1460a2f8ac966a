#pragma once

#include "base/UniqueHandle.h"

#include <windows.h>

#include <string>

namespace vwnlog
{
// Every user may add names to the log folder, so a name there may be a link or a
// second name of someone else's file. A name is written, emptied, renamed or
// deleted only once a handle opened on it shows the file itself.
enum class EntryKind
{
    Missing,
    // The file itself: no link, its only name, and reached at that very name.
    Own,
    // A link opened as the link itself, or one name of a file that has others:
    // the name alone can go, and the file behind it stays as it is.
    Removable,
    // The system went through a link to another file (Wine does, whatever the
    // flags): that name is left alone, since anything done to it reaches the file behind.
    Elsewhere,
};

// What a handle on an entry reports as its final path when it reaches the entry
// itself: the folder's own final path and the name, so that links above the
// folder count as the folder's. With the drive letter where the system can name
// one, else with the volume's device name (a RAM disk, some network shares). Where
// it can name neither, path is empty, error says why, and the entry is judged on
// the other two signs alone.
struct ExpectedFinalPath
{
    std::wstring path;
    DWORD volumeName = VOLUME_NAME_DOS;
    DWORD error = ERROR_SUCCESS;

    bool Known() const { return !path.empty(); }
    // The same expectation for another name of the same folder.
    ExpectedFinalPath ForName(const std::wstring& name) const;
};

// False when the folder of path cannot be opened, with the thread's last error.
bool ExpectFinalPath(const std::wstring& path, ExpectedFinalPath& expected);

// An entry opened as itself where the system allows it (OPEN_EXISTING) and judged.
// On failure the handle is empty and error says why; kind is Missing only for a missing name.
struct OpenedEntry
{
    UniqueFile handle;
    EntryKind kind = EntryKind::Missing;
    DWORD error = ERROR_SUCCESS;
};
OpenedEntry OpenEntry(const std::wstring& path, DWORD access, const ExpectedFinalPath& expected);

EntryKind JudgeEntry(HANDLE entry, const ExpectedFinalPath& expected);

// Through a handle opened with DELETE: only the name it was opened by goes. Win32 error or 0.
DWORD DeleteEntry(HANDLE entry);
// Renames the entry the handle was opened on; never replaces an existing name. Win32 error or 0.
DWORD RenameEntry(HANDLE entry, const std::wstring& newPath);
} // namespace vwnlog
