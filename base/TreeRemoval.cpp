#include "base/TreeRemoval.h"

#include <winternl.h>

#include <filesystem>
#include <system_error>
#include <vector>

void ThrowRemoveAll(const std::wstring& path, DWORD code)
{
    throw std::filesystem::filesystem_error("remove_all", std::filesystem::path(path),
                                            std::error_code(static_cast<int>(code), std::system_category()));
}

std::wstring FinalPath(HANDLE handle, DWORD volumeName)
{
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;)
    {
        const DWORD length = GetFinalPathNameByHandleW(
            handle, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED | volumeName);
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

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return !a.empty() && CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name)
{
    return (!folder.empty() && folder.back() == L'\\') ? folder + name : folder + L"\\" + name;
}

namespace
{
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// FileDispositionInfoEx and its flags (Windows 10 1607; ignoring the read-only attribute, 1809),
// which this toolchain's headers offer only to programs that require those versions.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosixSemantics = 0x2;
constexpr DWORD kDispositionIgnoreReadOnly = 0x10;
struct DispositionInfoEx
{
    DWORD flags;
};

bool SetAttributes(HANDLE entry, DWORD attributes)
{
    FILE_BASIC_INFO basic = {}; // zero times: leave them as they are
    basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
    return SetFileInformationByHandle(entry, FileBasicInfo, &basic, sizeof(basic)) != FALSE;
}
} // namespace

DWORD DeleteThroughHandle(HANDLE entry)
{
    DispositionInfoEx now = {kDispositionDelete | kDispositionPosixSemantics};
    if (SetFileInformationByHandle(entry, kFileDispositionInfoEx, &now, sizeof(now)))
    {
        return ERROR_SUCCESS;
    }
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(entry, FileDispositionInfo, &disposition, sizeof(disposition))
               ? ERROR_SUCCESS
               : GetLastError();
}

DWORD DeleteEvenIfReadOnly(HANDLE entry)
{
    DispositionInfoEx now = {kDispositionDelete | kDispositionPosixSemantics | kDispositionIgnoreReadOnly};
    if (SetFileInformationByHandle(entry, kFileDispositionInfoEx, &now, sizeof(now)))
    {
        return ERROR_SUCCESS;
    }
    if (GetLastError() != ERROR_INVALID_PARAMETER)
    {
        return GetLastError();
    }
    // Windows before 1809 calls the flag (before 1607, the class) an invalid parameter; so does Wine 8,
    // for the class, always, and it keeps no read-only attribute on a folder. The attribute belongs
    // to the file, not to the name: a second name elsewhere gets it back once this one is marked.
    const UniqueFile attributes(ReOpenFile(entry, FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE,
                                           kShareAll,
                                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
    FILE_BASIC_INFO found = {};
    if (!attributes ||
        !GetFileInformationByHandleEx(attributes.Get(), FileBasicInfo, &found, sizeof(found)) ||
        (found.FileAttributes & FILE_ATTRIBUTE_READONLY) == 0)
    {
        return DeleteThroughHandle(entry);
    }
    if (!SetAttributes(attributes.Get(), found.FileAttributes & ~FILE_ATTRIBUTE_READONLY))
    {
        return GetLastError();
    }
    const DWORD error = DeleteThroughHandle(entry);
    SetAttributes(attributes.Get(), found.FileAttributes);
    return error;
}

OpenedInFolder OpenInFolder(HANDLE folder, const std::wstring& name, InFolder how, DWORD access, DWORD share,
                            PSECURITY_DESCRIPTOR descriptor)
{
    OpenedInFolder opened;
    const size_t bytes = name.size() * sizeof(wchar_t);
    if (name.empty() || bytes > 0xfffe || name.find_first_of(L"\\/:") != std::wstring::npos)
    {
        opened.error = ERROR_INVALID_NAME;
        SetLastError(opened.error);
        return opened;
    }
    UNICODE_STRING objectName = {static_cast<USHORT>(bytes), static_cast<USHORT>(bytes),
                                 const_cast<PWSTR>(name.c_str())};
    OBJECT_ATTRIBUTES attributes = {};
    attributes.Length = sizeof(attributes);
    attributes.RootDirectory = folder;
    attributes.ObjectName = &objectName;
    attributes.Attributes = OBJ_CASE_INSENSITIVE;
    attributes.SecurityDescriptor = descriptor;
    const ULONG disposition = how == InFolder::Open   ? FILE_OPEN
                              : how == InFolder::Make ? FILE_CREATE
                                                      : FILE_OPEN_IF;
    const ULONG options = (how == InFolder::Open ? 0 : FILE_DIRECTORY_FILE) | FILE_OPEN_REPARSE_POINT |
                          FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT;
    IO_STATUS_BLOCK status = {};
    HANDLE handle = nullptr;
    const NTSTATUS result = NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &status, nullptr,
                                         FILE_ATTRIBUTE_NORMAL, share, disposition, options, nullptr, 0);
    if (!NT_SUCCESS(result))
    {
        opened.error = RtlNtStatusToDosError(result);
        SetLastError(opened.error);
        return opened;
    }
    opened.handle.Reset(handle);
    opened.made = status.Information == FILE_CREATED;
    return opened;
}

DWORD ListDirectoryThrough(HANDLE directory, std::vector<ListedEntry>& entries)
{
    std::vector<LONGLONG> buffer(8192); // 64 KiB, aligned for the records
    for (;;)
    {
        if (!GetFileInformationByHandleEx(directory, FileIdBothDirectoryInfo, buffer.data(),
                                          static_cast<DWORD>(buffer.size() * sizeof(LONGLONG))))
        {
            const DWORD error = GetLastError();
            return error == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : error;
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

namespace
{
// Lists a directory through the handle already held, so the listing is of that very directory.
std::vector<ListedEntry> ListDirectory(HANDLE directory, const std::wstring& reportPath)
{
    std::vector<ListedEntry> entries;
    const DWORD error = ListDirectoryThrough(directory, entries);
    if (error != ERROR_SUCCESS)
    {
        ThrowRemoveAll(reportPath, error);
    }
    return entries;
}

void MarkForDeletion(HANDLE entry, const std::wstring& reportPath)
{
    const DWORD error = DeleteEvenIfReadOnly(entry);
    if (error != ERROR_SUCCESS)
    {
        ThrowRemoveAll(reportPath, error);
    }
}

void RemoveEntry(HANDLE folder, const std::wstring& folderPath, const ListedEntry& listed,
                 const std::wstring& reportPath);

// `entry`, opened as itself where its folder lists it as `path`, goes with all below it.
void RemoveOpened(HANDLE entry, const std::wstring& path, DWORD listedAttributes,
                  const std::wstring& reportPath)
{
    const bool listedAsLink = (listedAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool listedAsDirectory = !listedAsLink && (listedAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    FILE_ATTRIBUTE_TAG_INFO info = {};
    if (!GetFileInformationByHandleEx(entry, FileAttributeTagInfo, &info, sizeof(info)))
    {
        ThrowRemoveAll(reportPath, GetLastError());
    }
    const std::wstring finalPath = FinalPath(entry);
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
        MarkForDeletion(entry, reportPath);
        return;
    }
    if ((info.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    {
        if (!listedAsDirectory)
        {
            // Swapped for a directory since it was listed: this handle cannot list it.
            ThrowRemoveAll(reportPath, ERROR_DIR_NOT_EMPTY);
        }
        for (const ListedEntry& child : ListDirectory(entry, reportPath))
        {
            RemoveEntry(entry, finalPath, child, reportPath);
        }
    }
    MarkForDeletion(entry, reportPath);
}

// Opens `listed` in the folder that `folder` is (listed at `folderPath`) as the entry itself,
// without sharing deletion, so nobody renames a directory away while we are inside it.
void RemoveEntry(HANDLE folder, const std::wstring& folderPath, const ListedEntry& listed,
                 const std::wstring& reportPath)
{
    const bool listedAsDirectory = (listed.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
                                   (listed.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const OpenedInFolder entry =
        OpenInFolder(folder, listed.name, InFolder::Open,
                     DELETE | FILE_READ_ATTRIBUTES | (listedAsDirectory ? FILE_LIST_DIRECTORY : 0),
                     FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (!entry.handle)
    {
        ThrowRemoveAll(reportPath, entry.error);
    }
    RemoveOpened(entry.handle.Get(), JoinPath(folderPath, listed.name), listed.attributes, reportPath);
}
} // namespace

void RemoveTreeWithoutFollowingLinks(const std::wstring& path)
{
    // The path's folder as handles report it, so that links above the log folder do not count as
    // links at it; the entry as that folder lists it.
    WIN32_FIND_DATAW found = {};
    std::vector<wchar_t> full(path.size() + MAX_PATH);
    wchar_t* name = nullptr;
    if (!UniqueFind(FindFirstFileW(path.c_str(), &found)))
    {
        ThrowRemoveAll(path, GetLastError());
    }
    const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), &name);
    if (length == 0 || length >= full.size() || name == nullptr || name == full.data())
    {
        ThrowRemoveAll(path, ERROR_INVALID_NAME);
    }
    const UniqueFile parent(CreateFileW(std::wstring(full.data(), name).c_str(), FILE_READ_ATTRIBUTES,
                                        kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
    const std::wstring parentPath = parent ? FinalPath(parent.Get()) : std::wstring();
    if (parentPath.empty())
    {
        ThrowRemoveAll(path, GetLastError());
    }
    RemoveEntry(parent.Get(), parentPath, ListedEntry{found.cFileName, found.dwFileAttributes}, path);
}

DWORD RemoveTreeThrough(HANDLE folder)
{
    const std::wstring path = FinalPath(folder);
    if (path.empty())
    {
        return GetLastError();
    }
    try
    {
        RemoveOpened(folder, path, FILE_ATTRIBUTE_DIRECTORY, path);
    }
    catch (const std::filesystem::filesystem_error& failure)
    {
        return static_cast<DWORD>(failure.code().value());
    }
    return ERROR_SUCCESS;
}
