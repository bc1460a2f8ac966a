#pragma once

#include <windows.h>

namespace vwnlog
{
// Holds a slim reader/writer lock for the lifetime of a scope.
class ExclusiveGuard
{
public:
    explicit ExclusiveGuard(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockExclusive(&m_lock); }
    ~ExclusiveGuard() { ReleaseSRWLockExclusive(&m_lock); }
    ExclusiveGuard(const ExclusiveGuard&) = delete;
    ExclusiveGuard& operator=(const ExclusiveGuard&) = delete;

private:
    SRWLOCK& m_lock;
};

class SharedGuard
{
public:
    explicit SharedGuard(SRWLOCK& lock) : m_lock(lock) { AcquireSRWLockShared(&m_lock); }
    ~SharedGuard() { ReleaseSRWLockShared(&m_lock); }
    SharedGuard(const SharedGuard&) = delete;
    SharedGuard& operator=(const SharedGuard&) = delete;

private:
    SRWLOCK& m_lock;
};
} // namespace vwnlog
