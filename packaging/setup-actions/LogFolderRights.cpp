#include "packaging/setup-actions/LogFolderRights.h"

#include <sddl.h>

const wchar_t* const kLogFolderSddl =
    L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200ab;;;BU)(A;OIIO;0x12008d;;;BU)(A;OIIO;FA;;;CO)";

namespace
{
bool IsDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// C:\ProgramData exists on every Windows; the folder between it and ours may not.
bool MakeParent(const std::wstring& folder)
{
    const size_t slash = folder.find_last_of(L'\\');
    if (slash == std::wstring::npos || slash == 0)
    {
        return true;
    }
    const std::wstring parent = folder.substr(0, slash);
    return CreateDirectoryW(parent.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}
} // namespace

UniqueLocalMemory BuildLogFolderDescriptor()
{
    UniqueLocalMemory descriptor;
    PSECURITY_DESCRIPTOR built = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kLogFolderSddl, SDDL_REVISION_1, &built,
                                                             nullptr))
    {
        descriptor.Reset(built);
    }
    return descriptor;
}

LogFolderResult MakeLogFolder(const std::wstring& folder, DWORD& error)
{
    error = ERROR_SUCCESS;
    UniqueLocalMemory descriptor = BuildLogFolderDescriptor();
    if (!descriptor || !MakeParent(folder))
    {
        error = GetLastError();
        return LogFolderResult::Failed;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor.Get(), FALSE};
    if (CreateDirectoryW(folder.c_str(), &attributes))
    {
        return LogFolderResult::Made;
    }
    error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS && IsDirectory(folder))
    {
        error = ERROR_SUCCESS;
        return LogFolderResult::Kept;
    }
    return LogFolderResult::Failed;
}
