#include "packaging/setup-actions/LogFolderRights.h"

#include "base/TreeRemoval.h"
#include "base/TrustedOwner.h"

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
// What judging and then changing or removing an entry needs, all through one handle.
constexpr DWORD kJudgeAndChange = READ_CONTROL | WRITE_DAC | WRITE_OWNER | FILE_READ_ATTRIBUTES | DELETE;

// The entry itself, never what a link there points to (where the platform honours the
// flag). Without FILE_SHARE_DELETE: nobody renames or deletes it while it is held.
UniqueFile OpenItself(const std::wstring& path, DWORD access)
{
    return UniqueFile(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr));
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

// A kept folder's owner and DACL set again, protected; SetSecurityInfo hands the inheritable
// entries on to what the folder holds.
bool SetRightsThrough(HANDLE folder, PSECURITY_DESCRIPTOR descriptor, DWORD& error)
{
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
    {
        error = GetLastError();
        return false;
    }
    error = SetSecurityInfo(folder, SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                PROTECTED_DACL_SECURITY_INFORMATION,
                            owner, nullptr, dacl, nullptr);
    return error == ERROR_SUCCESS;
}

// A link opened as itself goes through its own handle. A folder of another owner goes with
// the no-follow removal, which opens and judges every entry below it again.
bool RemoveDistrusted(UniqueFile& held, const std::wstring& path, DWORD& error)
{
    FILE_ATTRIBUTE_TAG_INFO info = {};
    if (!GetFileInformationByHandleEx(held.Get(), FileAttributeTagInfo, &info, sizeof(info)))
    {
        error = GetLastError();
        return false;
    }
    if ((info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    {
        FILE_DISPOSITION_INFO disposition = {};
        disposition.DeleteFile = TRUE;
        if (!SetFileInformationByHandle(held.Get(), FileDispositionInfo, &disposition, sizeof(disposition)))
        {
            error = GetLastError();
            return false;
        }
        held.Reset(); // the link goes as its handle closes
        return true;
    }
    held.Reset();
    try
    {
        RemoveTreeWithoutFollowingLinks(path);
        return true;
    }
    catch (const std::filesystem::filesystem_error& failure)
    {
        error = static_cast<DWORD>(failure.code().value());
        return false;
    }
}

FolderResult Refuse(DWORD& error, DWORD code)
{
    error = code == ERROR_SUCCESS ? ERROR_GEN_FAILURE : code;
    return FolderResult::Refused;
}

// One folder below `parent`, left held in `held` (so it stays where it is) unless refused.
FolderResult SettleFolder(HANDLE parent, const std::wstring& path, const wchar_t* sddl, OwnerRule trusted,
                          UniqueFile& held, DWORD& error)
{
    const UniqueLocalMemory descriptor = BuildDescriptor(sddl);
    if (!descriptor)
    {
        return Refuse(error, GetLastError());
    }
    held = OpenItself(path, kJudgeAndChange);
    const bool found = held.IsValid();
    if (!found && GetLastError() != ERROR_FILE_NOT_FOUND)
    {
        return Refuse(error, GetLastError());
    }
    if (found)
    {
        switch (JudgeOpenedFolder(held.Get(), parent, path.substr(path.find_last_of(L'\\') + 1), trusted))
        {
        case FoundFolder::Trusted:
            return SetRightsThrough(held.Get(), descriptor.Get(), error) ? FolderResult::Kept
                                                                         : FolderResult::Refused;
        case FoundFolder::NotAFolder:
            // A plain file is not ours to delete.
            return Refuse(error, ERROR_ALREADY_EXISTS);
        case FoundFolder::Elsewhere:
            return Refuse(error, kErrorStoppedOnSymlink);
        case FoundFolder::Distrusted:
            if (!RemoveDistrusted(held, path, error))
            {
                return FolderResult::Refused;
            }
            break;
        }
    }
    SECURITY_ATTRIBUTES security = {sizeof(security), descriptor.Get(), FALSE};
    if (!CreateDirectoryW(path.c_str(), &security))
    {
        return Refuse(error, GetLastError());
    }
    held = OpenItself(path, FILE_READ_ATTRIBUTES);
    if (!held)
    {
        return Refuse(error, GetLastError());
    }
    return found ? FolderResult::Replaced : FolderResult::Made;
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

// The parent is judged as its own parent (C:\ProgramData, the system's) lists it.
FolderResult SettleParent(const std::wstring& parent, OwnerRule trusted, UniqueFile& held, DWORD& error)
{
    const std::wstring root = ParentOf(parent);
    if (root.empty())
    {
        return Refuse(error, ERROR_BAD_PATHNAME);
    }
    const UniqueFile rootHandle(CreateFileW(root.c_str(), FILE_READ_ATTRIBUTES,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!rootHandle)
    {
        return Refuse(error, GetLastError());
    }
    return SettleFolder(rootHandle.Get(), parent, kParentFolderSddl, trusted, held, error);
}
} // namespace

std::wstring FolderLine(const std::wstring& path, FolderResult result, DWORD error)
{
    switch (result)
    {
    case FolderResult::Made:
        return L"Made " + path + L" with its owner and rights";
    case FolderResult::Kept:
        return L"Kept " + path + L", its owner and rights set again";
    case FolderResult::Replaced:
        return L"Replaced " + path + L": a link or a folder of another owner was there";
    case FolderResult::Refused:
        break;
    }
    const wchar_t* why = error == kErrorStoppedOnSymlink ? L": a link that opens only as what it points to"
                         : error == ERROR_ALREADY_EXISTS ? L": something other than a folder is there"
                                                         : L"";
    return L"Refused " + path + L" (error " + std::to_wstring(error) + L")" + why;
}

UniqueLocalMemory BuildLogFolderDescriptor()
{
    return BuildDescriptor(kLogFolderSddl);
}

DWORD MakeLogFolder(const std::wstring& folder, const FolderReport& report, OwnerRule trusted)
{
    const std::wstring parent = ParentOf(folder);
    DWORD error = ERROR_SUCCESS;
    UniqueFile parentHeld;
    const FolderResult parentResult = SettleParent(parent, trusted, parentHeld, error);
    report(parent, parentResult, error);
    if (parentResult == FolderResult::Refused)
    {
        return error;
    }
    UniqueFile folderHeld;
    const FolderResult result =
        SettleFolder(parentHeld.Get(), folder, kLogFolderSddl, trusted, folderHeld, error);
    report(folder, result, error);
    return result == FolderResult::Refused ? error : ERROR_SUCCESS;
}
