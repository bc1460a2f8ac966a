#include "base/TrustedOwner.h"

#include "base/BuiltSid.h"

bool IsTrustedOwner(PSID owner)
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    const BuiltSid administrators(ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
    const BuiltSid localSystem(ntAuthority, 1, SECURITY_LOCAL_SYSTEM_RID);
    return administrators.Equals(owner) || localSystem.Equals(owner);
}
