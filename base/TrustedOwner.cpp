#include "base/TrustedOwner.h"

#include "base/BuiltSid.h"
#include "base/UniqueHandle.h"

#include <aclapi.h>

bool IsTrustedOwner(PSID owner)
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    const BuiltSid administrators(ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    const BuiltSid localSystem(ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID);
    return administrators.Equals(owner) || localSystem.Equals(owner);
}

FoundFolder JudgeFoundFolder(DWORD attributes, PSID owner)
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
    return IsTrustedOwner(owner) ? FoundFolder::Trusted : FoundFolder::Distrusted;
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
