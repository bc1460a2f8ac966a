#include "base/TrustedOwner.h"

#include "base/BuiltSid.h"
#include "base/TreeRemoval.h"
#include "base/UniqueHandle.h"

#include <aclapi.h>
#include <sddl.h>

bool IsTrustedOwner(PSID owner)
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    const BuiltSid administrators(ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    const BuiltSid localSystem(ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID);
    return administrators.Equals(owner) || localSystem.Equals(owner);
}

bool IsTrustedInstaller(PSID owner)
{
    PSID trustedInstaller = nullptr;
    if (owner == nullptr ||
        !ConvertStringSidToSidW(L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
                                &trustedInstaller))
    {
        return false;
    }
    const UniqueLocalMemory owned(trustedInstaller);
    return EqualSid(owner, trustedInstaller) != FALSE;
}

FoundFolder JudgeFoundFolder(DWORD attributes, PSID owner, const OwnerRule& trusted)
{
    // Whoever owns a link's target, the link is not a folder a setup made.
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
    {
        return FoundFolder::Distrusted;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    {
        return FoundFolder::NotAFolder;
    }
    return trusted(owner) ? FoundFolder::Trusted : FoundFolder::Distrusted;
}

FoundFolder JudgeFolderAt(const std::wstring& path, DWORD attributes)
{
    PSID owner = nullptr;
    UniqueLocalMemory descriptor;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
        GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                              nullptr, nullptr, descriptor.Put()) != ERROR_SUCCESS)
    {
        owner = nullptr;
    }
    return JudgeFoundFolder(attributes, owner);
}

FoundFolder JudgeOpenedFolder(HANDLE opened, HANDLE parent, const std::wstring& name,
                              const OwnerRule& trusted)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    const std::wstring parentPath = FinalPath(parent);
    if (!GetFileInformationByHandle(opened, &info) || parentPath.empty() ||
        !SamePath(FinalPath(opened), JoinPath(parentPath, name)))
    {
        return FoundFolder::Elsewhere;
    }
    PSID owner = nullptr;
    UniqueLocalMemory descriptor;
    if (GetSecurityInfo(opened, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        descriptor.Put()) != ERROR_SUCCESS)
    {
        owner = nullptr;
    }
    return JudgeFoundFolder(info.dwFileAttributes, owner, trusted);
}
