#include "logbackend/core/FileLock.h"

namespace vwnlog
{
namespace
{
// Retries that only give the processor away, before each retry sleeps.
constexpr unsigned kYieldingRetries = 64;

OVERLAPPED LockRange()
{
    OVERLAPPED range = {};
    range.Offset = static_cast<DWORD>(FileLock::kOffset);
    range.OffsetHigh = static_cast<DWORD>(FileLock::kOffset >> 32);
    return range;
}

DWORD TryLock(HANDLE file)
{
    OVERLAPPED range = LockRange();
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range))
    {
        return ERROR_SUCCESS;
    }
    return GetLastError();
}
} // namespace

FileLock::FileLock(HANDLE file) : m_file(file), m_result(TryLock(file))
{
    // Polled rather than waited for: a waiting LockFileEx cannot be given up
    // on, and Wine has no asynchronous one.
    const ULONGLONG start = GetTickCount64();
    for (unsigned retry = 0; m_result == ERROR_LOCK_VIOLATION; ++retry)
    {
        if (GetTickCount64() - start >= kGiveUpMs)
        {
            return;
        }
        if (retry < kYieldingRetries)
        {
            SwitchToThread();
        }
        else
        {
            Sleep(1);
        }
        m_result = TryLock(file);
    }
}

FileLock::~FileLock()
{
    if (m_result == ERROR_SUCCESS)
    {
        OVERLAPPED range = LockRange();
        UnlockFileEx(m_file, 0, 1, 0, &range);
    }
}
} // namespace vwnlog
