#pragma once

#include <windows.h>

#include <string>

// The keep-or-delete decision on a folder's owner: true for Administrators and
// LocalSystem only. A null owner is not trusted.
bool IsTrustedOwner(PSID owner);

// What is found at the log folder's path, for the program at start and for the setups.
// Only a folder that Administrators or LocalSystem own, and that is no link, is kept.
enum class FoundFolder
{
    Trusted,    // kept
    Distrusted, // a link (to anything) or a folder of another owner
    NotAFolder, // a plain file
};

// `attributes` as the path itself shows them (a link is not followed); `owner` may be null
// when it cannot be read.
FoundFolder JudgeFoundFolder(DWORD attributes, PSID owner);

// The same for what lies at `path` with these attributes. The owner is read only for a
// path that is no link, so it is the folder's own; one that cannot be read is not trusted.
FoundFolder JudgeFolderAt(const std::wstring& path, DWORD attributes);
