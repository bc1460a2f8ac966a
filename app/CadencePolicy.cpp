#include "app/CadencePolicy.h"

#include "base/UniqueHandle.h"
#include "logging/ApacheLogger.h"

namespace
{
struct PolicyValue
{
    const wchar_t* name;
    DWORD minSeconds;
    DWORD maxSeconds;
    DWORD defaultMs;
};

// The templates in packaging/policy must offer exactly what is read here, and
// tests/install/check-policy-templates.py compares them with these lines: keep each on one line.
constexpr wchar_t kPolicyKey[] = L"SOFTWARE\\Policies\\Tessaly\\Voltwren";
constexpr PolicyValue kSettleAfter = {L"SettleAfterSeconds", 0, 86400, kSettleAfterMs};
constexpr PolicyValue kSettledPoll = {L"SettledPollSeconds", 2, 300, kSettledPollMs};

// Windows shares SOFTWARE\Policies between the 32-bit and 64-bit views ("Registry Keys Affected
// by WOW64"), and so does Wine 8: the flag changes nothing there. It keeps the 32-bit build on the
// 64-bit view, where Group Policy writes, should the key ever be redirected; 32-bit Windows ignores it.
constexpr REGSAM kReadAccess = KEY_QUERY_VALUE | KEY_WOW64_64KEY;

const wchar_t* TypeName(DWORD type)
{
    switch (type)
    {
    case REG_SZ:
        return L"REG_SZ";
    case REG_EXPAND_SZ:
        return L"REG_EXPAND_SZ";
    case REG_BINARY:
        return L"REG_BINARY";
    case REG_DWORD:
        return L"REG_DWORD";
    case REG_MULTI_SZ:
        return L"REG_MULTI_SZ";
    case REG_QWORD:
        return L"REG_QWORD";
    default:
        return L"another type";
    }
}

// The value in milliseconds: the policy's when it is a DWORD in range, else the default.
DWORD ReadMs(HKEY key, const PolicyValue& value)
{
    const DWORD defaultSeconds = value.defaultMs / 1000;
    DWORD type = REG_NONE;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExW(key, value.name, nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND)
    {
        return value.defaultMs;
    }
    DWORD seconds = 0;
    if (status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(seconds))
    {
        status = RegQueryValueExW(key, value.name, nullptr, &type, reinterpret_cast<BYTE*>(&seconds), &size);
    }
    if (status != ERROR_SUCCESS)
    {
        VWN_LOGW(
            L"[Voltwren][ReadCadencePolicy] @@@@@ Policy value %ws could not be read (error %ld): the default %lu s is used !!! @@@@@",
            value.name, status, defaultSeconds);
        return value.defaultMs;
    }
    if (type != REG_DWORD || size != sizeof(seconds))
    {
        VWN_LOGW(
            L"[Voltwren][ReadCadencePolicy] @@@@@ Policy value %ws is %ws of %lu bytes, not a REG_DWORD: the default %lu s is used !!! @@@@@",
            value.name, TypeName(type), size, defaultSeconds);
        return value.defaultMs;
    }
    if (seconds < value.minSeconds || seconds > value.maxSeconds)
    {
        VWN_LOGW(
            L"[Voltwren][ReadCadencePolicy] @@@@@ Policy value %ws is %lu, outside %lu to %lu: the default %lu s is used !!! @@@@@",
            value.name, seconds, value.minSeconds, value.maxSeconds, defaultSeconds);
        return value.defaultMs;
    }
    return seconds * 1000;
}
} // namespace

CadencePolicy ReadCadencePolicy()
{
    return ReadCadencePolicy(HKEY_LOCAL_MACHINE, kPolicyKey);
}

CadencePolicy ReadCadencePolicy(HKEY root, const wchar_t* subKey)
{
    CadencePolicy policy;
    UniqueRegistryKey key;
    const LSTATUS opened = RegOpenKeyExW(root, subKey, 0, kReadAccess, key.Put());
    if (opened == ERROR_FILE_NOT_FOUND)
    {
        return policy;
    }
    if (opened != ERROR_SUCCESS)
    {
        VWN_LOGW(
            L"[Voltwren][ReadCadencePolicy] @@@@@ Policy key %ws could not be opened (error %ld): the defaults are used !!! @@@@@",
            subKey, opened);
        return policy;
    }
    policy.settleAfterMs = ReadMs(key.Get(), kSettleAfter);
    policy.settledPollMs = ReadMs(key.Get(), kSettledPoll);
    if (policy.settleAfterMs == 0)
    {
        VWN_LOGW(L"[Voltwren][ReadCadencePolicy] Policy: detection never settles.");
    }
    else
    {
        VWN_LOGW(L"[Voltwren][ReadCadencePolicy] Policy: settle after %lu s, then a reading every %lu s.",
                 policy.settleAfterMs / 1000, policy.settledPollMs / 1000);
    }
    return policy;
}
