#pragma once

#include <windows.h>

namespace vwnlog
{
// The lock that every writer of one log file takes around each append and
// roll, in every process, logon session and user account: an exclusive
// byte-range lock on the log file itself, far beyond any data the file will
// hold. It needs no name and no privilege, only read or write access to the
// file, and the system drops it when its holder's handle closes or its
// process ends. Byte-range locks belong to one handle: two handles of one
// process exclude each other as two processes do.
//
// A holder keeps it for one write. One that keeps it kGiveUpMs (a process
// stopped in a debugger) is given up on rather than stopping our caller.
class FileLock
{
public:
    explicit FileLock(HANDLE file);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // ERROR_SUCCESS when held; else why not: ERROR_LOCK_VIOLATION after
    // kGiveUpMs, or the file system's refusal, which comes at once.
    DWORD Result() const { return m_result; }

    static constexpr ULONGLONG kGiveUpMs = 3000;
    // Below 2^63 for file systems that take offsets as signed numbers.
    static constexpr ULONGLONG kOffset = 1ULL << 62;

private:
    HANDLE m_file;
    DWORD m_result;
};
} // namespace vwnlog
