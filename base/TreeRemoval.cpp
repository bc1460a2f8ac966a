#include "base/TreeRemoval.h"

#include "base/UniqueHandle.h"

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
// FileDispositionInfoEx and its flags (Windows 10 1607), which this toolchain's headers
// offer only to programs that require that version.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosixSemantics = 0x2;
struct DispositionInfoEx
{
    DWORD flags;
};
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
    const DWORD error = DeleteThroughHandle(entry);
    if (error != ERROR_SUCCESS)
    {
        ThrowRemoveAll(reportPath, error);
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
