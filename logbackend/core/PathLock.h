#pragma once

#include <windows.h>

#include <string>

namespace vwnlog
{
// The lock that every process writing one log file takes around each write,
// open and roll, kept in a small named shared memory block derived from the
// file's full path. A kernel mutex would be simpler but costs a round trip
// to the Wine server on every line; this costs an interlocked operation.
//
// The block also carries a generation number that goes up whenever the file
// at the path is replaced (rolled over, recreated), so that writers still
// holding the old file notice it without a system call.
class PathLock
{
public:
    PathLock() = default;
    PathLock(const PathLock&) = delete;
    PathLock& operator=(const PathLock&) = delete;
    ~PathLock();

    // Binds to the block of fullPath. Without it (never seen so far) the lock
    // still works inside this process; the problem is reported.
    void Attach(const std::wstring& fullPath);

    // Always returns: a holder that ended without unlocking, or that has kept
    // the lock for kTakeOverMs, loses it.
    void Lock();
    void Unlock();

    // Read and written only while locked.
    long Generation() const;
    void BumpGeneration();
    // Who wrote last (a WriterTag) and so knows where the file ends; 0 after
    // anything that changed the end without writing (emptying, a take-over).
    long long LastWriter() const;
    void SetLastWriter(long long tag);

    // Unique among all writers of all processes.
    static long long NewWriterTag();

    static constexpr ULONGLONG kTakeOverMs = 3000;
    static constexpr ULONGLONG kDeadOwnerCheckMs = 100;

    // The block's name for a path: the same for every spelling that differs only in case.
    static std::wstring SharedName(const std::wstring& fullPath);

private:
    struct Shared
    {
        volatile LONG owner; // process id of the holder, 0 when free
        volatile LONG acquisitions;
        volatile LONG generation;
        volatile LONG reserved;
        volatile LONGLONG lastWriter;
    };

    HANDLE m_mapping = nullptr;
    Shared* m_shared = &m_local;
    LONG m_ticket = 0; // the acquisition count when this object took the lock
    Shared m_local = {};
};

// Takes a PathLock for the lifetime of a scope.
class PathLockGuard
{
public:
    explicit PathLockGuard(PathLock& lock) : m_lock(lock) { m_lock.Lock(); }
    ~PathLockGuard() { m_lock.Unlock(); }
    PathLockGuard(const PathLockGuard&) = delete;
    PathLockGuard& operator=(const PathLockGuard&) = delete;

private:
    PathLock& m_lock;
};
} // namespace vwnlog
