#include "base/TrustedOwner.h"

#include "base/BuiltSid.h"
#include "base/TreeRemoval.h"
#include "base/UniqueHandle.h"

#include <aclapi.h>
#include <cstring>

bool IsTrustedOwner(PSID owner)
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    const BuiltSid administrators(ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    const BuiltSid localSystem(ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID);
    return administrators.Equals(owner) || localSystem.Equals(owner);
}

bool IsServiceAccount(PSID owner)
{
    const SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    if (owner == nullptr || !IsValidSid(owner) ||
        memcmp(GetSidIdentifierAuthority(owner), &ntAuthority, sizeof(ntAuthority)) != 0)
    {
        return false;
    }
    const BYTE count = *GetSidSubAuthorityCount(owner);
    const DWORD first = count == 0 ? 0 : *GetSidSubAuthority(owner, 0);
    return (count == 1 && (first == SECURITY_LOCAL_SERVICE_RID || first == SECURITY_NETWORK_SERVICE_RID)) ||
           (count == SECURITY_SERVICE_ID_RID_COUNT && first == SECURITY_SERVICE_ID_BASE_RID);
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
