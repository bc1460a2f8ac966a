#include "logging/LogFolderReset.h"

#include "logging/UniqueHandle.h"

#include <aclapi.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace
{
// Not in this toolchain's headers: "The create operation stopped after reaching a symbolic link."
constexpr DWORD kErrorStoppedOnSymlink = 681;

// A well-known SID built for the occasion and released with FreeSid.
class BuiltSid
{
public:
    BuiltSid(SID_IDENTIFIER_AUTHORITY authority, BYTE count, DWORD first, DWORD second = 0)
    {
        if (!AllocateAndInitializeSid(&authority, count, first, second, 0, 0, 0, 0, 0, 0, &m_sid))
        {
            m_sid = nullptr;
        }
    }
    ~BuiltSid()
    {
        if (m_sid != nullptr)
        {
            FreeSid(m_sid);
        }
    }
    BuiltSid(const BuiltSid&) = delete;
    BuiltSid& operator=(const BuiltSid&) = delete;

    // A SID that could not be built equals nothing.
    bool Equals(PSID other) const { return m_sid != nullptr && other != nullptr && EqualSid(m_sid, other); }
    bool IsBuilt() const { return m_sid != nullptr; }

private:
    PSID m_sid = nullptr;
};

[[noreturn]] void ThrowFilesystemError(const char* operation, const std::wstring& path,
                                       const std::error_code& code)
{
    throw std::filesystem::filesystem_error(operation, std::filesystem::path(path), code);
}

[[noreturn]] void ThrowRemoveAll(const std::wstring& path, DWORD code)
{
    ThrowFilesystemError("remove_all", path, std::error_code(static_cast<int>(code), std::system_category()));
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

bool ShouldDelete(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    {
        return true;
    }
    // Whoever owns a link's target, the link is not a folder the installer made.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    {
        return true;
    }
    PSID owner = nullptr;
    UniqueLocalMemory descriptor;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                              nullptr, nullptr, descriptor.Put()) != ERROR_SUCCESS)
    {
        return true;
    }
    return !IsTrustedOwner(owner);
}

// A link whose target is gone is invisible to the existence test, yet it still lies at the path.
bool IsLinkAt(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
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

// The final path names the object a handle really reaches; a link that the
// platform followed shows up as a path other than the one listed in its parent.
std::wstring FinalPath(HANDLE handle)
{
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;)
    {
        const DWORD length = GetFinalPathNameByHandleW(
            handle, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
        {
            return std::wstring();
        }
        if (length < buffer.size())
        {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(length + 1);
    }
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name)
{
    return (!folder.empty() && folder.back() == L'\\') ? folder + name : folder + L"\\" + name;
}

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return !a.empty() && CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

struct ListedEntry
{
    std::wstring name;
    DWORD attributes;
};

// Lists a directory through the handle already held, so the listing is of that very directory.
std::vector<ListedEntry> ListDirectory(HANDLE directory, const std::wstring& reportPath)
{
    std::vector<ListedEntry> entries;
    std::vector<LONGLONG> buffer(8192); // 64 KiB, aligned for the records
    for (;;)
    {
        if (!GetFileInformationByHandleEx(directory, FileIdBothDirectoryInfo, buffer.data(),
                                          static_cast<DWORD>(buffer.size() * sizeof(LONGLONG))))
        {
            const DWORD error = GetLastError();
            if (error == ERROR_NO_MORE_FILES)
            {
                return entries;
            }
            ThrowRemoveAll(reportPath, error);
        }
        const BYTE* record = reinterpret_cast<const BYTE*>(buffer.data());
        for (;;)
        {
            const FILE_ID_BOTH_DIR_INFO* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(record);
            const std::wstring name(info->FileName, info->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..")
            {
                entries.push_back(ListedEntry{name, info->FileAttributes});
            }
            if (info->NextEntryOffset == 0)
            {
                break;
            }
            record += info->NextEntryOffset;
        }
    }
}

void MarkForDeletion(HANDLE entry, const std::wstring& reportPath)
{
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    if (!SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof(disposition)))
    {
        ThrowRemoveAll(reportPath, GetLastError());
    }
}

void ClearReadOnly(HANDLE entry, DWORD attributes, const std::wstring& reportPath)
{
    FILE_BASIC_INFO basic = {}; // zero times: leave them as they are
    basic.FileAttributes = attributes & ~FILE_ATTRIBUTE_READONLY;
    if (basic.FileAttributes == 0)
    {
        basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    if (!SetFileInformationByHandle(entry, FileBasicInfo, &basic, sizeof(basic)))
    {
        ThrowRemoveAll(reportPath, GetLastError());
    }
}

// Opens the entry itself, never a link's target (where the platform honours that),
// and without sharing deletion, so nobody renames a directory away while we are inside it.
void RemoveEntry(const std::wstring& path, DWORD listedAttributes, const std::wstring& reportPath)
{
    const bool listedAsLink = (listedAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool listedAsDirectory = !listedAsLink && (listedAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    DWORD access = DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES;
    if (listedAsDirectory)
    {
        access |= FILE_LIST_DIRECTORY;
    }
    const UniqueFile entry(CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!entry)
    {
        ThrowRemoveAll(reportPath, GetLastError());
    }
    FILE_ATTRIBUTE_TAG_INFO info = {};
    if (!GetFileInformationByHandleEx(entry.Get(), FileAttributeTagInfo, &info, sizeof(info)))
    {
        ThrowRemoveAll(reportPath, GetLastError());
    }
    const std::wstring finalPath = FinalPath(entry.Get());
    if (finalPath.empty())
    {
        ThrowRemoveAll(reportPath, GetLastError());
    }
    const bool handleIsLink = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool reachedElsewhere = !SamePath(finalPath, path);
    if (listedAsLink || handleIsLink || reachedElsewhere)
    {
        // Deleting through a handle on the target would delete the target: only the link itself may go.
        if (!handleIsLink || reachedElsewhere)
        {
            ThrowRemoveAll(reportPath, kErrorStoppedOnSymlink);
        }
        MarkForDeletion(entry.Get(), reportPath);
        return;
    }
    if ((info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    {
        if (!listedAsDirectory)
        {
            // Swapped for a directory since it was listed: this handle cannot list it.
            ThrowRemoveAll(reportPath, ERROR_DIR_NOT_EMPTY);
        }
        for (const ListedEntry& child : ListDirectory(entry.Get(), reportPath))
        {
            RemoveEntry(JoinPath(finalPath, child.name), child.attributes, reportPath);
        }
    }
    else if ((info.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0)
    {
        ClearReadOnly(entry.Get(), info.FileAttributes, reportPath);
    }
    MarkForDeletion(entry.Get(), reportPath);
}

// The path as its parent folder lists it, in the final-path form that handles report,
// so that links above the log folder do not count as links at it.
bool ListedPath(const std::wstring& path, std::wstring& listedPath, DWORD& attributes)
{
    WIN32_FIND_DATAW found = {};
    if (!UniqueFind(FindFirstFileW(path.c_str(), &found)))
    {
        return false;
    }
    attributes = found.dwFileAttributes;

    std::vector<wchar_t> full(path.size() + MAX_PATH);
    wchar_t* name = nullptr;
    const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), &name);
    if (length == 0 || length >= full.size() || name == nullptr || name == full.data())
    {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    const std::wstring parentPath(full.data(), name);
    const UniqueFile parent(CreateFileW(parentPath.c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!parent)
    {
        return false;
    }
    const std::wstring parentFinal = FinalPath(parent.Get());
    if (parentFinal.empty())
    {
        return false;
    }
    listedPath = JoinPath(parentFinal, found.cFileName);
    return true;
}
} // namespace

bool IsTrustedOwner(PSID owner)
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    const BuiltSid administrators(ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    const BuiltSid localSystem(ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID);
    return administrators.Equals(owner) || localSystem.Equals(owner);
}

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

void RemoveTreeWithoutFollowingLinks(const std::wstring& path)
{
    std::wstring listedPath;
    DWORD attributes = 0;
    if (!ListedPath(path, listedPath, attributes))
    {
        ThrowRemoveAll(path, GetLastError());
    }
    RemoveEntry(listedPath, attributes, path);
}

void ResetLogFolderAt(const std::wstring& path, const std::wstring& userCreatableRoot)
{
    RefuseLinksAbove(path, userCreatableRoot);
    const bool exists = PathExists(path);
    if ((exists && ShouldDelete(path)) || (!exists && IsLinkAt(path)))
    {
        OutputDebugStringW(kRemoveAllLine);
        RemoveTreeWithoutFollowingLinks(path);
        OutputDebugStringW(kRemoveAllDoneLine);
    }
    StripEveryoneFromKeptFolder(path);
}

void ResetLogFolder()
{
    ResetLogFolderAt(kLogFolderPath, kUserCreatableRoot);
}
