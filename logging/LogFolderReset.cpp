#include "logging/LogFolderReset.h"

#include "base/BuiltSid.h"
#include "base/TreeRemoval.h"
#include "base/TrustedOwner.h"
#include "base/UniqueHandle.h"
#include "logging/EventReports.h"

#include <aclapi.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace
{

[[noreturn]] void ThrowFilesystemError(const char* operation, const std::wstring& path,
                                       const std::error_code& code)
{
    throw std::filesystem::filesystem_error(operation, std::filesystem::path(path), code);
}

// The runtime maps most of these to "not found" itself; a system code that gets through still means absent.
bool MeansAbsent(const std::error_code& error)
{
    if (error.category() == std::system_category())
    {
        const int code = error.value();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_BAD_NETPATH ||
               code == ERROR_INVALID_NAME;
    }
    return error == std::errc::no_such_file_or_directory;
}

bool PathExists(const std::wstring& path)
{
    std::error_code error;
    const bool exists = std::filesystem::exists(std::filesystem::path(path), error);
    if (error && !MeansAbsent(error))
    {
        ThrowFilesystemError("exists", path, error);
    }
    return exists && !error;
}

// A link whose target is gone is invisible to the existence test, yet it still lies at the path.
bool IsLinkAt(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Why what lies at the path is deleted, as the event log says it; null for a folder that is kept.
const wchar_t* ReasonToDelete(const std::wstring& path, bool exists)
{
    if (!exists)
    {
        return IsLinkAt(path) ? L"a link was at its path" : nullptr;
    }
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
    {
        return L"its attributes could not be read";
    }
    switch (JudgeFolderAt(path, attributes))
    {
    case FoundFolder::Trusted:
        return nullptr;
    case FoundFolder::NotAFolder:
        return L"a file was at its path";
    default:
        return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0
                   ? L"a link was at its path"
                   : L"neither Administrators nor SYSTEM owned it";
    }
}

// Each folder between the root and the path; a link there is not the folder the installer made.
void RefuseLinksAbove(const std::wstring& path, const std::wstring& root)
{
    if (root.empty() || path.size() <= root.size() + 1 ||
        CompareStringOrdinal(path.c_str(), static_cast<int>(root.size()), root.c_str(),
                             static_cast<int>(root.size()), TRUE) != CSTR_EQUAL ||
        path[root.size()] != L'\\')
    {
        return;
    }
    for (size_t at = path.find(L'\\', root.size() + 1); at != std::wstring::npos;
         at = path.find(L'\\', at + 1))
    {
        if (IsLinkAt(path.substr(0, at)))
        {
            ThrowRemoveAll(path, kErrorStoppedOnSymlink);
        }
    }
}

void StripEveryoneFromKeptFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    {
        return;
    }
    PACL dacl = nullptr;
    UniqueLocalMemory descriptor;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              &dacl, nullptr, descriptor.Put()) != ERROR_SUCCESS)
    {
        return;
    }
    if (ProtectDaclWithoutEveryone(descriptor.Get()))
    {
        // Best effort: a folder that keeps its old rights is still one the installer made.
        std::wstring writablePath = path;
        SetNamedSecurityInfoW(&writablePath[0], SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, dacl, nullptr);
    }
}

// The SID of an entry whose SID follows its header and access mask; null for
// other kinds (object entries keep theirs further on) and for a SID that overruns the entry.
PSID EntrySid(const ACE_HEADER* header)
{
    switch (header->AceType)
    {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_DENIED_ACE_TYPE:
    case SYSTEM_AUDIT_ACE_TYPE:
    case SYSTEM_ALARM_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
    case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        break;
    default:
        return nullptr;
    }
    const size_t sidOffset = sizeof(ACE_HEADER) + sizeof(ACCESS_MASK);
    const size_t sidHeaderBytes = 8; // revision, sub-authority count, 6-byte identifier authority
    if (header->AceSize < sidOffset + sidHeaderBytes)
    {
        return nullptr;
    }
    const BYTE* sid = reinterpret_cast<const BYTE*>(header) + sidOffset;
    if (sidOffset + sidHeaderBytes + 4u * sid[1] > header->AceSize)
    {
        return nullptr;
    }
    return const_cast<BYTE*>(sid);
}

} // namespace

bool ProtectDaclWithoutEveryone(PSECURITY_DESCRIPTOR descriptor)
{
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || dacl == nullptr)
    {
        return false;
    }
    SID_IDENTIFIER_AUTHORITY worldAuthority = SECURITY_WORLD_SID_AUTHORITY;
    const BuiltSid everyone(worldAuthority, 1, SECURITY_WORLD_RID);
    if (!everyone.IsBuilt())
    {
        return false;
    }
    // After a deletion the next entry has moved into this index: look at it before going on.
    for (DWORD index = 0; index < dacl->AceCount;)
    {
        void* entry = nullptr;
        if (GetAce(dacl, index, &entry) && everyone.Equals(EntrySid(static_cast<ACE_HEADER*>(entry))) &&
            DeleteAce(dacl, index))
        {
            continue;
        }
        ++index;
    }
    SetSecurityDescriptorControl(descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    return true;
}

void ResetLogFolderAt(const std::wstring& path, const std::wstring& userCreatableRoot)
{
    RefuseLinksAbove(path, userCreatableRoot);
    const wchar_t* reason = ReasonToDelete(path, PathExists(path));
    if (reason != nullptr)
    {
        OutputDebugStringW(kRemoveAllLine);
        RemoveTreeWithoutFollowingLinks(path);
        OutputDebugStringW(kRemoveAllDoneLine);
        ReportToEventLog(
            VoltwrenEvent::kLogFolderDistrusted,
            {path, std::wstring(reason) + L": it was deleted, and the log library makes it again"});
    }
    StripEveryoneFromKeptFolder(path);
}

void ResetLogFolder()
{
    ResetLogFolderAt(kLogFolderPath, kUserCreatableRoot);
}
