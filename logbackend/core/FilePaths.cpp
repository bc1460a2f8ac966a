#include "logbackend/core/FilePaths.h"

namespace vwnlog
{
namespace
{
// Length of "C:\" or "\\server\share\" at the front of a full path.
size_t RootLength(const std::wstring& path)
{
    if (path.size() >= 2 && path[1] == L':')
    {
        return path.size() >= 3 ? 3 : 2;
    }
    if (path.compare(0, 2, L"\\\\") == 0)
    {
        size_t separators = 0;
        for (size_t i = 2; i < path.size(); ++i)
        {
            if (path[i] == L'\\' && ++separators == 2)
            {
                return i + 1;
            }
        }
        return path.size();
    }
    return path.empty() || path[0] != L'\\' ? 0 : 1;
}
} // namespace

bool IsRelative(const std::wstring& path)
{
    if (path.empty())
    {
        return true;
    }
    if (path[0] == L'\\' || path[0] == L'/')
    {
        return false;
    }
    return !(path.size() >= 2 && path[1] == L':');
}

std::wstring FullPathOf(const std::wstring& path)
{
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
    {
        return path;
    }
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    full.resize(length < size ? length : 0);
    return full.empty() ? path : full;
}

std::wstring FolderOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring LongPathOf(const std::wstring& path)
{
    const DWORD size = GetLongPathNameW(path.c_str(), nullptr, 0);
    if (size == 0)
    {
        return path;
    }
    std::wstring full(size, L'\0');
    const DWORD length = GetLongPathNameW(path.c_str(), &full[0], size);
    return length == 0 || length >= size ? path : full.substr(0, length);
}

DWORD CreateFolders(const std::wstring& folder)
{
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
    {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ERROR_SUCCESS : ERROR_DIRECTORY;
    }
    const std::wstring parent = FolderOf(folder);
    if (!parent.empty() && parent.size() >= RootLength(folder) && parent.size() < folder.size())
    {
        const DWORD error = CreateFolders(parent);
        if (error != ERROR_SUCCESS)
        {
            return error;
        }
    }
    if (!CreateDirectoryW(folder.c_str(), nullptr))
    {
        const DWORD error = GetLastError();
        return error == ERROR_ALREADY_EXISTS ? ERROR_SUCCESS : error;
    }
    return ERROR_SUCCESS;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}
} // namespace vwnlog
