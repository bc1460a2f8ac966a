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

namespace
{
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

// The kept folder's DACL set again, protected; its files inherit the new entries.
bool SetRightsAgain(const std::wstring& folder, PSECURITY_DESCRIPTOR descriptor, DWORD& error)
{
    PACL dacl = nullptr;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
    {
        error = GetLastError();
        return false;
    }
    std::wstring writablePath = folder;
    error = SetNamedSecurityInfoW(&writablePath[0], SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, dacl, nullptr);
    return error == ERROR_SUCCESS;
}

bool RemoveDistrusted(const std::wstring& folder, DWORD& error)
{
    try
    {
        RemoveTreeWithoutFollowingLinks(folder);
        return true;
    }
    catch (const std::filesystem::filesystem_error& failure)
    {
        error = static_cast<DWORD>(failure.code().value());
        return false;
    }
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
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    const bool found = attributes != INVALID_FILE_ATTRIBUTES;
    if (found)
    {
        switch (JudgeFolderAt(folder, attributes))
        {
        case FoundFolder::Trusted:
            return SetRightsAgain(folder, descriptor.Get(), error) ? LogFolderResult::Kept
                                                                   : LogFolderResult::Failed;
        case FoundFolder::NotAFolder:
            // A plain file is not ours to delete: the setup fails.
            error = ERROR_ALREADY_EXISTS;
            return LogFolderResult::Failed;
        case FoundFolder::Distrusted:
            if (!RemoveDistrusted(folder, error))
            {
                return LogFolderResult::Failed;
            }
            break;
        }
    }
    SECURITY_ATTRIBUTES security = {sizeof(security), descriptor.Get(), FALSE};
    if (!CreateDirectoryW(folder.c_str(), &security))
    {
        error = GetLastError();
        return LogFolderResult::Failed;
    }
    return found ? LogFolderResult::Replaced : LogFolderResult::Made;
}
