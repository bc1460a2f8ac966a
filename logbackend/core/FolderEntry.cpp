#include "logbackend/core/FolderEntry.h"

#include "base/TreeRemoval.h"
#include "logbackend/core/FilePaths.h"

#include <vector>

namespace vwnlog
{
namespace
{
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// FileDispositionInfoEx and its flags (Windows 10 1607), which this toolchain's headers
// offer only to programs that require that version.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosixSemantics = 0x2;
struct DispositionInfoEx
{
    DWORD flags;
};

// GetFinalPathNameByHandleW with the given volume form; empty on failure, with the last error.
std::wstring FinalPathAs(HANDLE handle, DWORD volumeName)
{
    if (volumeName == VOLUME_NAME_DOS)
    {
        return FinalPath(handle);
    }
    std::wstring path(MAX_PATH, L'\0');
    for (;;)
    {
        const DWORD length = GetFinalPathNameByHandleW(handle, &path[0], static_cast<DWORD>(path.size()),
                                                       FILE_NAME_NORMALIZED | volumeName);
        if (length < path.size())
        {
            path.resize(length);
            return path;
        }
        path.resize(length + 1);
    }
}
} // namespace

ExpectedFinalPath ExpectedFinalPath::ForName(const std::wstring& name) const
{
    ExpectedFinalPath expected = *this;
    if (Known())
    {
        expected.path = FolderOf(path) + name.substr(FolderOf(name).size());
    }
    return expected;
}

bool ExpectFinalPath(const std::wstring& path, ExpectedFinalPath& expected)
{
    const std::wstring folder = FolderOf(path);
    const UniqueFile handle(CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!handle)
    {
        return false;
    }
    expected = ExpectedFinalPath();
    for (const DWORD volumeName : {VOLUME_NAME_DOS, VOLUME_NAME_NT})
    {
        const std::wstring folderFinal = FinalPathAs(handle.Get(), volumeName);
        if (!folderFinal.empty())
        {
            expected.path = folderFinal + path.substr(folder.size());
            expected.volumeName = volumeName;
            return true;
        }
        if (expected.error == ERROR_SUCCESS)
        {
            expected.error = GetLastError();
        }
    }
    return true;
}

EntryKind JudgeEntry(HANDLE entry, const ExpectedFinalPath& expected)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(entry, &info) ||
        (expected.Known() && !SamePath(FinalPathAs(entry, expected.volumeName), expected.path)))
    {
        return EntryKind::Elsewhere;
    }
    const bool link = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    return link || info.nNumberOfLinks != 1 ? EntryKind::Removable : EntryKind::Own;
}

OpenedEntry OpenEntry(const std::wstring& path, DWORD access, const ExpectedFinalPath& expected)
{
    OpenedEntry entry;
    entry.handle.Reset(CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!entry.handle)
    {
        entry.error = GetLastError();
        entry.kind = IsMissing(entry.error) ? EntryKind::Missing : EntryKind::Elsewhere;
        return entry;
    }
    entry.kind = JudgeEntry(entry.handle.Get(), expected);
    return entry;
}

DWORD DeleteEntry(HANDLE entry)
{
    // Drops the name at once, even while the file behind it is open elsewhere (Windows 10 1607 on);
    // elsewhere the name goes when the last handle opened by it closes.
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

DWORD RenameEntry(HANDLE entry, const std::wstring& newPath)
{
    // The name is a variable-length tail of the record.
    const size_t nameBytes = newPath.size() * sizeof(wchar_t);
    std::vector<BYTE> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    FILE_RENAME_INFO* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    newPath.copy(info->FileName, newPath.size());
    return SetFileInformationByHandle(entry, FileRenameInfo, info, static_cast<DWORD>(buffer.size()))
               ? ERROR_SUCCESS
               : GetLastError();
}
} // namespace vwnlog
