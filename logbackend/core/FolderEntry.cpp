#include "logbackend/core/FolderEntry.h"

#include "base/TreeRemoval.h"
#include "logbackend/core/FilePaths.h"

#include <vector>

namespace vwnlog
{
namespace
{
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
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
        const std::wstring folderFinal = FinalPath(handle.Get(), volumeName);
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
        (expected.Known() && !SamePath(FinalPath(entry, expected.volumeName), expected.path)))
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
    return DeleteThroughHandle(entry);
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
