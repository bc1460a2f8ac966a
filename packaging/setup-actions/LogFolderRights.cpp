#include "packaging/setup-actions/LogFolderRights.h"

#include "base/TreeRemoval.h"
#include "base/TrustedOwner.h"
#include "packaging/setup-actions/SetupPrivileges.h"

#include <aclapi.h>
#include <sddl.h>

#include <filesystem>

// Users: on the folder, list, traverse and add files (0x1200ab); on its files (OIIO), read,
// write, append, attributes and delete (0x13019f), never WRITE_DAC or WRITE_OWNER. Owner
// Rights (OW) takes away the implicit READ_CONTROL and WRITE_DAC of a file's owner, so no
// user can shut the others out of a file and keep them from rolling it.
const wchar_t* const kLogFolderSddl =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200ab;;;BU)(A;OIIO;0x13019f;;;BU)(A;OIIO;0x13019f;;;OW)";

// Users: list, read attributes and the DACL, traverse (FILE_GENERIC_READ | FILE_TRAVERSE),
// on this folder only; the log folder below has a protected DACL of its own.
const wchar_t* const kParentFolderSddl = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200a9;;;BU)";

namespace
{
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// The entry itself, never what a link there points to (where the platform honours the flag);
// with SeBackupPrivilege and SeRestorePrivilege enabled, whatever its DACL says.
constexpr DWORD kItself = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

// Judging reads attributes, owner and final path only: no access that a program holding the
// folder open (a console whose current folder it is) could refuse.
UniqueFile OpenToJudge(const std::wstring& path)
{
    return UniqueFile(CreateFileW(path.c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll,
                                  nullptr, OPEN_EXISTING, kItself, nullptr));
}

// The same entry again, with the one right a step needs. Sharing is checked for DELETE and data
// access (FILE_LIST_DIRECTORY), not for WRITE_DAC or WRITE_OWNER.
UniqueFile Reopen(HANDLE judged, DWORD access)
{
    return UniqueFile(ReOpenFile(judged, access | SYNCHRONIZE, kShareAll, kItself));
}

UniqueLocalMemory BuildDescriptor(const wchar_t* sddl)
{
    UniqueLocalMemory descriptor;
    PSECURITY_DESCRIPTOR built = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &built, nullptr))
    {
        descriptor.Reset(built);
    }
    return descriptor;
}

bool IsLink(HANDLE judged)
{
    FILE_ATTRIBUTE_TAG_INFO info = {};
    return GetFileInformationByHandleEx(judged, FileAttributeTagInfo, &info, sizeof(info)) &&
           (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

FolderOutcome Outcome(FolderResult result, FolderReason reason, DWORD error = ERROR_SUCCESS)
{
    FolderOutcome outcome;
    outcome.result = result;
    outcome.reason = reason;
    outcome.error = result == FolderResult::Refused && error == ERROR_SUCCESS ? ERROR_GEN_FAILURE : error;
    return outcome;
}

// A refusal keeps what `outcome` says was removed or left on the way.
FolderOutcome Refused(DWORD error, FolderReason reason = FolderReason::Failed, FolderOutcome outcome = {})
{
    const FolderOutcome refused = Outcome(
        FolderResult::Refused, error == ERROR_SHARING_VIOLATION ? FolderReason::HeldOpen : reason, error);
    outcome.result = refused.result;
    outcome.reason = refused.reason;
    outcome.error = refused.error;
    return outcome;
}

// Owner and DACL of the folder itself. SetSecurityInfo would write the inheritable entries onto
// everything below it as well (a planted hard link's file included, or another product's data);
// SetKernelObjectSecurity does not. Microsoft steers file objects to SetSecurityInfo for the
// inheritance it computes: these DACLs are protected and all their own, so there is none.
DWORD SetOwnRights(HANDLE judged, PSECURITY_DESCRIPTOR descriptor)
{
    const UniqueFile writable = Reopen(judged, WRITE_DAC | WRITE_OWNER);
    if (!writable)
    {
        return GetLastError();
    }
    return SetKernelObjectSecurity(writable.Get(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                   descriptor)
               ? ERROR_SUCCESS
               : GetLastError();
}

DWORD MakeFolder(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor)
{
    SECURITY_ATTRIBUTES security = {sizeof(security), descriptor, FALSE};
    return CreateDirectoryW(path.c_str(), &security) ? ERROR_SUCCESS : GetLastError();
}

// One entry of a kept or taken log folder, as the log library judges one: a link, or one name of
// a file that has others, goes (the file stays, under its other names, with its own rights); a
// file of its own or a folder stays. Recorded in `outcome` when removed or left.
void SettleEntry(const std::wstring& folderPath, const std::wstring& name, FolderOutcome& outcome)
{
    const std::wstring path = JoinPath(folderPath, name);
    const UniqueFile entry(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, nullptr,
                                       OPEN_EXISTING, kItself, nullptr));
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!entry || !GetFileInformationByHandle(entry.Get(), &info))
    {
        if (GetLastError() != ERROR_FILE_NOT_FOUND)
        {
            outcome.left.push_back(LeftEntry{name, GetLastError()});
        }
        return;
    }
    const std::wstring finalPath = FinalPath(entry.Get());
    if (!SamePath(finalPath, path))
    {
        // Wine 8 opens a link to a file only as that file: anything done through it reaches the file.
        outcome.left.push_back(LeftEntry{name, finalPath.empty() ? GetLastError() : kErrorStoppedOnSymlink});
        return;
    }
    const bool link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!link && (folder || info.nNumberOfLinks < 2))
    {
        return;
    }
    const UniqueFile deletable = Reopen(entry.Get(), DELETE);
    const DWORD error = deletable ? DeleteThroughHandle(deletable.Get()) : GetLastError();
    if (error == ERROR_SUCCESS)
    {
        outcome.removed.push_back(name);
    }
    else
    {
        outcome.left.push_back(LeftEntry{name, error});
    }
}

// A log folder that stays: first what a user could have planted in it goes, listed through its
// own handle; then its owner and DACL are set, on the folder alone. Its log files are the log
// library's, which judges each one before it writes.
FolderOutcome KeepInPlace(HANDLE judged, PSECURITY_DESCRIPTOR descriptor, FolderOutcome outcome)
{
    const std::wstring folderPath = FinalPath(judged);
    if (folderPath.empty())
    {
        return Refused(GetLastError());
    }
    const UniqueFile listing = Reopen(judged, FILE_LIST_DIRECTORY);
    if (!listing)
    {
        return Refused(GetLastError());
    }
    std::vector<ListedEntry> entries;
    DWORD error = ListDirectoryThrough(listing.Get(), entries);
    for (const ListedEntry& entry : entries)
    {
        SettleEntry(folderPath, entry.name, outcome);
    }
    if (error == ERROR_SUCCESS)
    {
        error = SetOwnRights(judged, descriptor);
    }
    return error == ERROR_SUCCESS ? outcome : Refused(error, FolderReason::Failed, outcome);
}

// A log folder of another owner, or a link there. A link goes as a link, through its own handle.
// A folder goes with the no-follow removal, which opens and judges every entry below it again;
// when a program holds it (or something in it) open, it stays and is taken where it is.
FolderOutcome ReplaceDistrusted(UniqueFile& judged, const std::wstring& path, PSECURITY_DESCRIPTOR descriptor)
{
    const bool link = IsLink(judged.Get());
    if (link)
    {
        const UniqueFile deletable = Reopen(judged.Get(), DELETE);
        const DWORD error = deletable ? DeleteThroughHandle(deletable.Get()) : GetLastError();
        if (error != ERROR_SUCCESS)
        {
            return Refused(error);
        }
    }
    else
    {
        try
        {
            RemoveTreeWithoutFollowingLinks(path);
        }
        catch (const std::filesystem::filesystem_error& failure)
        {
            const DWORD error = static_cast<DWORD>(failure.code().value());
            return error == ERROR_SHARING_VIOLATION
                       ? KeepInPlace(judged.Get(), descriptor,
                                     Outcome(FolderResult::Taken, FolderReason::HeldOpen, error))
                       : Refused(error);
        }
    }
    judged.Reset(); // without POSIX deletion, the name goes as the last handle closes
    const DWORD error = MakeFolder(path, descriptor);
    return error == ERROR_SUCCESS
               ? Outcome(FolderResult::Replaced, link ? FolderReason::Link : FolderReason::OtherOwner)
               : Refused(error);
}

std::wstring NameIn(const std::wstring& path)
{
    return path.substr(path.find_last_of(L'\\') + 1);
}

FolderOutcome SettleLogFolder(HANDLE parent, const std::wstring& path, const OwnerRule& trusted)
{
    const UniqueLocalMemory descriptor = BuildDescriptor(kLogFolderSddl);
    if (!descriptor)
    {
        return Refused(GetLastError());
    }
    UniqueFile judged = OpenToJudge(path);
    if (!judged)
    {
        const DWORD error =
            GetLastError() == ERROR_FILE_NOT_FOUND ? MakeFolder(path, descriptor.Get()) : GetLastError();
        return error == ERROR_SUCCESS ? Outcome(FolderResult::Made, FolderReason::None) : Refused(error);
    }
    switch (JudgeOpenedFolder(judged.Get(), parent, NameIn(path), trusted))
    {
    case FoundFolder::Trusted:
        return KeepInPlace(judged.Get(), descriptor.Get(),
                           Outcome(FolderResult::Kept, FolderReason::RightsSetAgain));
    case FoundFolder::NotAFolder:
        // A plain file is not ours to delete.
        return Refused(ERROR_ALREADY_EXISTS, FolderReason::NotAFolder);
    case FoundFolder::Elsewhere:
        return Refused(kErrorStoppedOnSymlink, FolderReason::OpensAsTarget);
    case FoundFolder::Distrusted:
        break;
    }
    return ReplaceDistrusted(judged, path, descriptor.Get());
}

// The folder holding `path`, empty when there is none; a drive keeps its root's backslash.
std::wstring ParentOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash == 0)
    {
        return std::wstring();
    }
    return path[slash - 1] == L':' ? path.substr(0, slash + 1) : path.substr(0, slash);
}

// What the parent's judgement decides. It is the maker's folder: never removed, and changed, if
// at all, on itself alone.
FolderOutcome SettleJudgedParent(HANDLE judged, FoundFolder found, PSECURITY_DESCRIPTOR descriptor)
{
    switch (found)
    {
    case FoundFolder::Trusted:
        return Outcome(FolderResult::Kept, FolderReason::AsItIs);
    case FoundFolder::NotAFolder:
        return Refused(ERROR_ALREADY_EXISTS, FolderReason::NotAFolder);
    case FoundFolder::Elsewhere:
        return Refused(kErrorStoppedOnSymlink, FolderReason::OpensAsTarget);
    case FoundFolder::Distrusted:
        break;
    }
    if (IsLink(judged))
    {
        return Refused(kErrorStoppedOnSymlink, FolderReason::Link);
    }
    const DWORD error = SetOwnRights(judged, descriptor);
    return error == ERROR_SUCCESS ? Outcome(FolderResult::Taken, FolderReason::OtherOwner) : Refused(error);
}

// The parent is judged as its own parent (C:\ProgramData, the system's) lists it, and left held
// in `pinned` without delete sharing: nobody renames it, or swaps a link in, while the log folder
// is made inside it. A program that holds it open for deletion is a refusal.
FolderOutcome SettleParent(const std::wstring& parent, const OwnerRule& trusted, UniqueFile& pinned)
{
    const std::wstring root = ParentOf(parent);
    const UniqueLocalMemory descriptor = BuildDescriptor(kParentFolderSddl);
    if (root.empty() || !descriptor)
    {
        return Refused(root.empty() ? ERROR_BAD_PATHNAME : GetLastError());
    }
    const UniqueFile rootHandle(CreateFileW(root.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!rootHandle)
    {
        return Refused(GetLastError());
    }
    UniqueFile judged = OpenToJudge(parent);
    const bool found = judged.IsValid();
    if (!found && GetLastError() != ERROR_FILE_NOT_FOUND)
    {
        return Refused(GetLastError());
    }
    if (!found)
    {
        const DWORD error = MakeFolder(parent, descriptor.Get());
        judged = OpenToJudge(parent);
        if (error != ERROR_SUCCESS || !judged)
        {
            return Refused(error != ERROR_SUCCESS ? error : GetLastError());
        }
    }
    pinned.Reset(ReOpenFile(judged.Get(), FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, kItself));
    if (!pinned)
    {
        return Refused(GetLastError());
    }
    if (!found)
    {
        return Outcome(FolderResult::Made, FolderReason::None);
    }
    // The maker's folder may be one that Windows' own installer made.
    const OwnerRule vendorRule = [&trusted](PSID owner)
    { return trusted(owner) || IsTrustedInstaller(owner); };
    return SettleJudgedParent(judged.Get(),
                              JudgeOpenedFolder(judged.Get(), rootHandle.Get(), NameIn(parent), vendorRule),
                              descriptor.Get());
}

std::wstring ReasonOfRefusal(const FolderOutcome& outcome)
{
    switch (outcome.reason)
    {
    case FolderReason::HeldOpen:
        return L": a program holds it open";
    case FolderReason::Link:
        return L": a link or junction is there, and it is never followed";
    case FolderReason::OpensAsTarget:
        return L": a link that opens only as what it points to";
    case FolderReason::NotAFolder:
        return L": something other than a folder is there";
    default:
        return std::wstring();
    }
}

std::wstring WhatWasDone(const std::wstring& path, const FolderOutcome& outcome)
{
    switch (outcome.result)
    {
    case FolderResult::Made:
        return L"Made " + path + L" with its owner and rights";
    case FolderResult::Kept:
        return outcome.reason == FolderReason::AsItIs
                   ? L"Kept " + path + L" as it is: Administrators, SYSTEM or TrustedInstaller own it"
                   : L"Kept " + path + L", its owner and rights set again";
    case FolderResult::Taken:
        return outcome.reason == FolderReason::HeldOpen
                   ? L"Took " + path +
                         L" in place, as a program holds it open: owner Administrators, with rights of its own"
                   : L"Took " + path +
                         L" from another owner: owner Administrators, with rights of its own; what it holds keeps its rights";
    case FolderResult::Replaced:
        return outcome.reason == FolderReason::Link
                   ? L"Replaced " + path + L": a link was there, removed as a link"
                   : L"Replaced " + path + L": a folder of another owner was there";
    case FolderResult::Refused:
        break;
    }
    return L"Refused " + path + L" (error " + std::to_wstring(outcome.error) + L")" +
           ReasonOfRefusal(outcome);
}
} // namespace

std::wstring FolderLine(const std::wstring& path, const FolderOutcome& outcome)
{
    std::wstring line = WhatWasDone(path, outcome);
    for (size_t i = 0; i < outcome.removed.size(); ++i)
    {
        line += (i == 0 ? L"; removed links from it: " : L", ") + outcome.removed[i];
    }
    for (const LeftEntry& left : outcome.left)
    {
        line += L"; left " + left.name +
                (left.error == kErrorStoppedOnSymlink
                     ? std::wstring(L": a link that opens only as what it points to")
                     : L" (error " + std::to_wstring(left.error) + L")");
    }
    return line;
}

UniqueLocalMemory BuildLogFolderDescriptor()
{
    return BuildDescriptor(kLogFolderSddl);
}

DWORD MakeLogFolder(const std::wstring& folder, const FolderReport& report, const OwnerRule& trusted)
{
    const SetupPrivileges privileges;
    const std::wstring parent = ParentOf(folder);
    UniqueFile pinnedParent;
    const FolderOutcome parentOutcome = SettleParent(parent, trusted, pinnedParent);
    report(parent, parentOutcome);
    if (parentOutcome.result == FolderResult::Refused)
    {
        return parentOutcome.error;
    }
    const FolderOutcome outcome = SettleLogFolder(pinnedParent.Get(), folder, trusted);
    report(folder, outcome);
    return outcome.result == FolderResult::Refused ? outcome.error : ERROR_SUCCESS;
}
