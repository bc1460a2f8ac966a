#pragma once

#include "base/UniqueHandle.h"

#include <windows.h>

#include <vector>

// SeTakeOwnershipPrivilege, SeRestorePrivilege and SeBackupPrivilege enabled in the setup's own
// token for as long as this lives, and put back as they were after. With them, an open with
// FILE_FLAG_BACKUP_SEMANTICS reads, takes and deletes a folder whose DACL shuts Administrators
// out. A token that lacks one (a setup that is not elevated) goes on without it; such a folder
// is then refused with the error of its open.
class SetupPrivileges
{
public:
    SetupPrivileges();
    ~SetupPrivileges();
    SetupPrivileges(const SetupPrivileges&) = delete;
    SetupPrivileges& operator=(const SetupPrivileges&) = delete;

private:
    UniqueHandle m_token;
    std::vector<BYTE> m_previous; // TOKEN_PRIVILEGES of those this changed, as they were
    bool m_changed = false;
};
