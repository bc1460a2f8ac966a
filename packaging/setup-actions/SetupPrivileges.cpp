#include "packaging/setup-actions/SetupPrivileges.h"

namespace
{
constexpr const wchar_t* kPrivileges[] = {L"SeTakeOwnershipPrivilege", L"SeRestorePrivilege",
                                          L"SeBackupPrivilege"};
constexpr size_t kCount = sizeof(kPrivileges) / sizeof(kPrivileges[0]);
// TOKEN_PRIVILEGES declares room for one entry; the others follow it.
constexpr size_t kSize = sizeof(TOKEN_PRIVILEGES) + (kCount - 1) * sizeof(LUID_AND_ATTRIBUTES);
} // namespace

SetupPrivileges::SetupPrivileges() : m_previous(kSize)
{
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, m_token.Put()))
    {
        return;
    }
    std::vector<BYTE> wanted(kSize);
    TOKEN_PRIVILEGES* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(wanted.data());
    LUID_AND_ATTRIBUTES* entries = privileges->Privileges;
    for (const wchar_t* name : kPrivileges)
    {
        if (LookupPrivilegeValueW(nullptr, name, &entries[privileges->PrivilegeCount].Luid))
        {
            entries[privileges->PrivilegeCount++].Attributes = SE_PRIVILEGE_ENABLED;
        }
    }
    // Succeeds with ERROR_NOT_ALL_ASSIGNED when the token lacks one: the others are enabled all the same.
    DWORD length = 0;
    m_changed =
        AdjustTokenPrivileges(m_token.Get(), FALSE, privileges, static_cast<DWORD>(m_previous.size()),
                              reinterpret_cast<TOKEN_PRIVILEGES*>(m_previous.data()), &length) != FALSE;
}

SetupPrivileges::~SetupPrivileges()
{
    if (m_changed)
    {
        AdjustTokenPrivileges(m_token.Get(), FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(m_previous.data()), 0,
                              nullptr, nullptr);
    }
}
