#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The keep-or-delete decision on a folder's owner: true for Administrators and
// LocalSystem only. A null owner is not trusted.
bool IsTrustedOwner(PSID owner);
// A service's own account: LocalService (S-1-5-19), NetworkService (S-1-5-20) or a service SID
// (S-1-5-80- and the five numbers of its name's hash, as NT SERVICE\TrustedInstaller, which owns
// what Windows itself installs). A folder one of them owns is one a service made.
bool IsServiceAccount(PSID owner);
// Who may own a folder that is kept: IsTrustedOwner, unless a caller must stand in for an
// owner the platform cannot show (under Wine every folder shows the user as its owner).
using OwnerRule = std::function<bool(PSID owner)>;

// What is found at the log folder's path or at C:\ProgramData\Tessaly above it, for the
// program at start and for the setups. Only a folder that Administrators or LocalSystem own, and that is no
// link, is kept.
enum class FoundFolder
{
    Trusted,    // kept
    Distrusted, // a link (to anything) or a folder of another owner
    NotAFolder, // a plain file
    Elsewhere,  // a handle that reaches something other than the entry (a link the platform went
                // through), or that cannot be read: nothing may be changed through it
};

// `attributes` as the path itself shows them (a link is not followed); `owner` may be null
// when it cannot be read.
FoundFolder JudgeFoundFolder(DWORD attributes, PSID owner, const OwnerRule& trusted = IsTrustedOwner);

// The same for what lies at `path` with these attributes. The owner is read only for a
// path that is no link, so it is the folder's own; one that cannot be read is not trusted.
FoundFolder JudgeFolderAt(const std::wstring& path, DWORD attributes);

// The same rules for the setups, which judge C:\ProgramData\Tessaly and then the log folder
// through the handle they go on to change them with. `opened` was opened on the entry itself
// (FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS); `parent` is a handle on the
// folder that lists it as `name`. The attributes, the owner and the final path are all read
// through `opened`: a final path other than parent's plus name means the platform opened what
// a link points to.
FoundFolder JudgeOpenedFolder(HANDLE opened, HANDLE parent, const std::wstring& name,
                              const OwnerRule& trusted = IsTrustedOwner);
