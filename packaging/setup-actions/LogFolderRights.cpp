#include "packaging/setup-actions/LogFolderRights.h"

#include "base/TreeRemoval.h"
#include "base/TrustedOwner.h"
#include "packaging/setup-actions/SetupPrivileges.h"

#include <sddl.h>

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
constexpr DWORD kToJudge = READ_CONTROL | FILE_READ_ATTRIBUTES;

// The same entry again, with the one right a step needs. Sharing is checked for DELETE and data
// access (FILE_LIST_DIRECTORY), not for WRITE_DAC or WRITE_OWNER.
UniqueFile Reopen(HANDLE judged, DWORD access, DWORD share = kShareAll)
{
    return UniqueFile(ReOpenFile(judged, access | SYNCHRONIZE, share, kItself));
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

// What a judgement means where it means the same for both folders: a refusal, before any step.
struct JudgedRefusal
{
    FoundFolder found;
    DWORD error;
    FolderReason reason;
};
constexpr JudgedRefusal kJudgedRefusals[] = {
    {FoundFolder::NotAFolder, ERROR_ALREADY_EXISTS, FolderReason::NotAFolder}, // not ours to delete
    {FoundFolder::Elsewhere, kErrorStoppedOnSymlink, FolderReason::OpensAsTarget},
};

bool RefusedAs(FoundFolder found, FolderOutcome& refusal)
{
    for (const JudgedRefusal& judged : kJudgedRefusals)
    {
        if (judged.found == found)
        {
            refusal = Refused(judged.error, judged.reason);
            return true;
        }
    }
    return false;
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

// `name` in the held folder `parent`: the folder there, or one made with `descriptor` where
// nothing is; anything else is opened as it is, to be judged.
OpenedInFolder OpenOrMake(HANDLE parent, const std::wstring& name, DWORD access, DWORD share,
                          PSECURITY_DESCRIPTOR descriptor)
{
    OpenedInFolder opened = OpenInFolder(parent, name, InFolder::OpenOrMake, access, share, descriptor);
    return opened.error == ERROR_DIRECTORY ? OpenInFolder(parent, name, InFolder::Open, access, share)
                                           : std::move(opened);
}

// What was made in the held parent is reported as made only where its path leads: a name that
// names another folder by then would be a false line. Windows renames no folder that holds an
// open one; Wine 8 does, and then cannot name a handle opened below it since (error 6).
FolderOutcome MadeThere(HANDLE made, HANDLE parent, const std::wstring& name, const FolderOutcome& outcome)
{
    const std::wstring madePath = FinalPath(made);
    const DWORD error = madePath.empty() ? GetLastError() : ERROR_PATH_NOT_FOUND;
    return SamePath(madePath, JoinPath(FinalPath(parent), name)) ? outcome
                                                                 : Refused(error, FolderReason::NotAtItsPath);
}

// One entry of a kept or taken log folder, as the log library judges one: a link, or one name of
// a file that has others, goes (the file stays, under its other names, with its own rights); a
// file of its own or a folder stays. Recorded in `outcome` when removed or left.
void SettleEntry(HANDLE listing, const std::wstring& folderPath, const std::wstring& name,
                 FolderOutcome& outcome)
{
    const OpenedInFolder entry = OpenInFolder(listing, name, InFolder::Open, FILE_READ_ATTRIBUTES, kShareAll);
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!entry.handle || !GetFileInformationByHandle(entry.handle.Get(), &info))
    {
        if (GetLastError() != ERROR_FILE_NOT_FOUND)
        {
            outcome.left.push_back(LeftEntry{name, GetLastError()});
        }
        return;
    }
    const std::wstring finalPath = FinalPath(entry.handle.Get());
    if (!SamePath(finalPath, JoinPath(folderPath, name)))
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
    const UniqueFile deletable = Reopen(entry.handle.Get(), DELETE);
    const DWORD error = deletable ? DeleteEvenIfReadOnly(deletable.Get()) : GetLastError();
    if (error == ERROR_SUCCESS)
    {
        outcome.removed.push_back(name);
    }
    else
    {
        outcome.left.push_back(LeftEntry{name, error});
    }
}

// A log folder that stays: first what a user could have planted in it goes, listed and opened
// through its own handle; then its owner and DACL are set, on the folder alone. Its log files are
// the log library's, which judges each one before it writes.
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
        SettleEntry(listing.Get(), folderPath, entry.name, outcome);
    }
    if (error == ERROR_SUCCESS)
    {
        error = SetOwnRights(judged, descriptor);
    }
    return error == ERROR_SUCCESS ? outcome : Refused(error, FolderReason::Failed, outcome);
}

// A log folder of another owner, or a link there, goes through its own handle: a link as a link, a
// folder with the no-follow removal, which opens every entry below it through its folder's handle.
// When a program holds the folder (or something in it) open, it stays and is taken where it is.
// Windows checks access when a handle is opened, never later: a handle opened before keeps what it
// was granted, WRITE_DAC, WRITE_OWNER or FILE_ADD_FILE among them. With it, its holder can change
// the log folder and what is in it, where every user may write files anyway, and nothing beyond:
// no later step here goes by path, the log library judges every file before it writes, and
// Voltwren judges the folder again at every start.
FolderOutcome ReplaceDistrusted(UniqueFile& judged, HANDLE parent, const std::wstring& name,
                                PSECURITY_DESCRIPTOR descriptor)
{
    const bool link = IsLink(judged.Get());
    UniqueFile removable = link ? Reopen(judged.Get(), DELETE)
                                : Reopen(judged.Get(), DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE);
    DWORD error = !removable ? GetLastError()
                  : link     ? DeleteEvenIfReadOnly(removable.Get())
                             : RemoveTreeThrough(removable.Get());
    if (error == ERROR_SHARING_VIOLATION && !link)
    {
        return KeepInPlace(judged.Get(), descriptor,
                           Outcome(FolderResult::Taken, FolderReason::HeldOpen, error));
    }
    if (error != ERROR_SUCCESS)
    {
        return Refused(error);
    }
    removable.Reset(); // without POSIX deletion, the name goes as the last handle closes
    judged.Reset();
    const OpenedInFolder made = OpenInFolder(parent, name, InFolder::Make, kToJudge, kShareAll, descriptor);
    return made.handle ? MadeThere(made.handle.Get(), parent, name,
                                   Outcome(FolderResult::Replaced,
                                           link ? FolderReason::Link : FolderReason::OtherOwner))
                       : Refused(made.error);
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
    const std::wstring name = NameIn(path);
    OpenedInFolder opened = OpenOrMake(parent, name, kToJudge, kShareAll, descriptor.Get());
    if (!opened.handle)
    {
        return Refused(opened.error);
    }
    if (opened.made)
    {
        return MadeThere(opened.handle.Get(), parent, name, Outcome(FolderResult::Made, FolderReason::None));
    }
    const FoundFolder found = JudgeOpenedFolder(opened.handle.Get(), parent, name, trusted);
    FolderOutcome refusal;
    if (RefusedAs(found, refusal))
    {
        return refusal;
    }
    return found == FoundFolder::Trusted
               ? KeepInPlace(opened.handle.Get(), descriptor.Get(),
                             Outcome(FolderResult::Kept, FolderReason::RightsSetAgain))
               : ReplaceDistrusted(opened.handle, parent, name, descriptor.Get());
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

// The parent is opened, or made, by name in its own parent (C:\ProgramData, the system's), and left
// held in `pinned` from there on. It is the maker's folder: never removed, and changed, if at all,
// on itself alone.
FolderOutcome SettleParent(const std::wstring& parent, const OwnerRule& trusted, UniqueFile& pinned)
{
    const std::wstring root = ParentOf(parent);
    const UniqueLocalMemory descriptor = BuildDescriptor(kParentFolderSddl);
    if (root.empty() || !descriptor)
    {
        return Refused(root.empty() ? ERROR_BAD_PATHNAME : GetLastError());
    }
    const UniqueFile rootHandle(CreateFileW(root.c_str(), FILE_TRAVERSE | FILE_READ_ATTRIBUTES, kShareAll,
                                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!rootHandle)
    {
        return Refused(GetLastError());
    }
    const std::wstring name = NameIn(parent);
    OpenedInFolder opened = OpenOrMake(rootHandle.Get(), name, FILE_LIST_DIRECTORY | kToJudge,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, descriptor.Get());
    if (!opened.handle)
    {
        return Refused(opened.error);
    }
    pinned = std::move(opened.handle);
    if (opened.made)
    {
        return MadeThere(pinned.Get(), rootHandle.Get(), name,
                         Outcome(FolderResult::Made, FolderReason::None));
    }
    // The maker's folder may be one that Windows' own installer, or a service of the maker, made.
    const OwnerRule vendorRule = [&trusted](PSID owner) { return trusted(owner) || IsServiceAccount(owner); };
    const FoundFolder found = JudgeOpenedFolder(pinned.Get(), rootHandle.Get(), name, vendorRule);
    FolderOutcome refusal;
    if (RefusedAs(found, refusal))
    {
        return refusal;
    }
    if (found == FoundFolder::Trusted)
    {
        return Outcome(FolderResult::Kept, FolderReason::AsItIs);
    }
    if (IsLink(pinned.Get()))
    {
        return Refused(kErrorStoppedOnSymlink, FolderReason::Link);
    }
    const DWORD error = SetOwnRights(pinned.Get(), descriptor.Get());
    return error == ERROR_SUCCESS ? Outcome(FolderResult::Taken, FolderReason::OtherOwner) : Refused(error);
}

// Every line a folder can get: its result's verb, the path, and the words of its result and
// reason; a refusal's words follow its error code.
constexpr const wchar_t* kVerbs[] = {L"Made ", L"Kept ", L"Took ", L"Replaced ",
                                     L"Refused "}; // by FolderResult
struct LineWords
{
    FolderResult result;
    FolderReason reason;
    const wchar_t* words;
};
constexpr LineWords kLineWords[] = {
    {FolderResult::Made, FolderReason::None, L" with its owner and rights"},
    {FolderResult::Kept, FolderReason::AsItIs, L" as it is: Administrators, SYSTEM or a service own it"},
    {FolderResult::Kept, FolderReason::RightsSetAgain, L", its owner and rights set again"},
    {FolderResult::Taken, FolderReason::HeldOpen,
     L" in place, as a program holds it open: owner Administrators, with rights of its own"},
    {FolderResult::Taken, FolderReason::OtherOwner,
     L" from another owner: owner Administrators, with rights of its own; what it holds keeps its rights"},
    {FolderResult::Replaced, FolderReason::Link, L": a link was there, removed as a link"},
    {FolderResult::Replaced, FolderReason::OtherOwner, L": a folder of another owner was there"},
    {FolderResult::Refused, FolderReason::HeldOpen, L": a program holds it open"},
    {FolderResult::Refused, FolderReason::Link, L": a link or junction is there, and it is never followed"},
    {FolderResult::Refused, FolderReason::OpensAsTarget, L": a link that opens only as what it points to"},
    {FolderResult::Refused, FolderReason::NotAFolder, L": something other than a folder is there"},
    {FolderResult::Refused, FolderReason::NotAtItsPath, L": the folder it made is no longer at this path"},
};

std::wstring WhatWasDone(const std::wstring& path, const FolderOutcome& outcome)
{
    std::wstring line = kVerbs[static_cast<size_t>(outcome.result)] + path;
    if (outcome.result == FolderResult::Refused)
    {
        line += L" (error " + std::to_wstring(outcome.error) + L")";
    }
    for (const LineWords& words : kLineWords)
    {
        if (words.result == outcome.result && words.reason == outcome.reason)
        {
            return line + words.words;
        }
    }
    return line;
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
