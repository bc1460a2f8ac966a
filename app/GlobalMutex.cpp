#include "app/GlobalMutex.h"

#include "logging/ApacheLogger.h"

#include <sddl.h>

namespace
{
const wchar_t* const kMutexName = L"Global\\TESSALY_VWN_MUTEX";
// Deny Guests and Anonymous Logon, allow Authenticated Users and Administrators.
const wchar_t* const kMutexSecurity = L"D:(D;OICI;GA;;;BG)(D;OICI;GA;;;AN)(A;OICI;GA;;;AU)(A;OICI;GA;;;BA)";
} // namespace

GlobalMutex& GlobalMutex::Instance()
{
    static GlobalMutex instance;
    // The constructor's closing log line and registering the destructor may touch the
    // last-error code after the creation: give the caller the creation's code once.
    if (instance.m_reportCreationError)
    {
        instance.m_reportCreationError = false;
        SetLastError(instance.m_creationError);
    }
    return instance;
}

GlobalMutex::GlobalMutex()
{
    VWN_LOGW(L"[GlobalMutex][GlobalMutex::GlobalMutex] in.");

    // Without a descriptor the mutex gets default security. The mutex keeps its own copy.
    UniqueLocalMemory descriptor;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(kMutexSecurity, SDDL_REVISION_1, descriptor.Put(),
                                                         nullptr);
    SECURITY_ATTRIBUTES attributes = {};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = descriptor.Get();
    attributes.bInheritHandle = FALSE;

    m_mutex.Reset(CreateMutexW(&attributes, TRUE, kMutexName));
    m_creationError = GetLastError();
    m_reportCreationError = true;
    VWN_LOGW(L"[GlobalMutex][GlobalMutex::GlobalMutex] out.");
}

GlobalMutex::~GlobalMutex()
{
    VWN_LOGW(L"[GlobalMutex][GlobalMutex::~GlobalMutex] Calling Release() ...");
    Release();
    VWN_LOGW(L"[GlobalMutex][GlobalMutex::~GlobalMutex] Calling Release() - done.\n");
}

bool GlobalMutex::ExistsAlready()
{
    const UniqueHandle mutex(OpenMutexW(SYNCHRONIZE, FALSE, kMutexName));
    // A mutex this user may not open exists all the same.
    return mutex.IsValid() || GetLastError() == ERROR_ACCESS_DENIED;
}

void GlobalMutex::Release()
{
    m_mutex.Reset();
}
