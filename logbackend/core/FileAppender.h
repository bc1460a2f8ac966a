#pragma once

#include "logbackend/core/Appender.h"
#include "logbackend/core/DateFormat.h"
#include "logbackend/core/PathLock.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace vwnlog
{
// Parses a size such as "10MB", "512 KB", "1GB" or "4096" (bytes).
bool ParseFileSize(std::wstring_view text, unsigned long long& bytes);
// The full form of a path, and the folder part of a full path.
std::wstring FullPathOf(const std::wstring& path);
std::wstring FolderOf(const std::wstring& path);
// Makes every missing folder of a full path; returns a Win32 error or 0.
DWORD CreateFolders(const std::wstring& folder);

// log4j's FileAppender, shared safely by threads and processes: every line
// is one whole write at the end of the file under the file's PathLock.
// Threads that arrive while a write is under way queue their lines, and the
// next writer takes all of them in one write; each call still returns only
// after its own line is in the file.
class FileAppender : public Appender
{
public:
    explicit FileAppender(std::wstring name);
    ~FileAppender() override;

    OptionResult SetOption(std::wstring_view option, const std::wstring& value) override;
    bool Activate(const std::wstring& baseFolder) override;

    const std::wstring& Path() const { return m_path; }

    static constexpr ULONGLONG kRetryOpenMs = 5000;
    static constexpr ULONGLONG kRetryRollMs = 1000;
    static constexpr ULONGLONG kIdentityCheckMs = 1000;
    // How long a caller whose line waits in the queue polls before it sleeps.
    static constexpr unsigned kPollRounds = 200;

protected:
    enum class RollResult
    {
        Failed,  // reported by the subclass; the current file goes on
        Renamed, // the path is free for a new file
        Emptied, // the file was cut to nothing in place
    };

    void Write(const std::wstring& line) override;

    // Called by the one writing thread with the path lock held.
    virtual bool RollDue(unsigned long long size, unsigned long long pending);
    // On failure, says what failed in failure (without a trailing period).
    virtual RollResult Roll(std::wstring& failure);
    // A file was opened or emptied: its size and last write time (local).
    virtual void FileOpened(unsigned long long size, const SYSTEMTIME& lastWrite);

    std::wstring FileDescription() const;

private:
    void WriteBatch(const std::string& batch, unsigned long long lines);
    unsigned long long EndOfFileLocked();
    bool OpenLocked(bool truncate);
    void ReopenLocked();
    bool PathStillOurs() const;
    bool OwnFileDeleted() const;
    void TryRollLocked(unsigned long long size, unsigned long long pending);
    void WriteByteOrderMarkIfEmpty(unsigned long long size);

    // Options.
    std::wstring m_fileOption;
    bool m_append = true;
    bool m_immediateFlush = true;
    Encoding m_encoding = Encoding::Utf8;

    // The file; touched only by the thread that writes the current batch.
    std::wstring m_path;
    PathLock m_pathLock;
    HANDLE m_file = INVALID_HANDLE_VALUE;
    DWORD m_volume = 0;
    DWORD m_indexHigh = 0;
    DWORD m_indexLow = 0;
    long m_generation = 0;
    const long long m_writerTag = PathLock::NewWriterTag();
    // Where our handle writes next, when we know it is the end of the file.
    unsigned long long m_end = 0;
    bool m_endKnown = false;
    ULONGLONG m_nextOpenTick = 0;
    ULONGLONG m_nextIdentityCheckTick = 0;
    ULONGLONG m_nextRollTick = 0;
    bool m_openFailed = false;
    bool m_writeFailed = false;
    bool m_rollFailed = false;
    unsigned long long m_lostLines = 0;

    // The queue of lines waiting for a writer.
    SRWLOCK m_queueLock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_batchWritten = CONDITION_VARIABLE_INIT;
    std::string m_pending;
    std::string m_spare;
    unsigned long long m_queuedCount = 0;
    std::atomic<unsigned long long> m_writtenCount{0};
    std::atomic<bool> m_writing{false};
    unsigned m_sleeping = 0;
};

// log4j's RollingFileAppender: MaxFileSize (10MB) and MaxBackupIndex (1);
// backups are File.1 (newest) to File.N. With MaxBackupIndex 0 the file is
// emptied instead.
class RollingFileAppender final : public FileAppender
{
public:
    explicit RollingFileAppender(std::wstring name);
    OptionResult SetOption(std::wstring_view option, const std::wstring& value) override;

    static constexpr unsigned long long kDefaultMaxFileSize = 10ULL * 1024 * 1024;

protected:
    bool RollDue(unsigned long long size, unsigned long long pending) override;
    RollResult Roll(std::wstring& failure) override;

private:
    std::wstring Backup(int index) const;

    unsigned long long m_maxFileSize = kDefaultMaxFileSize;
    int m_maxBackupIndex = 1;
};

// log4j's DailyRollingFileAppender: DatePattern ('.'yyyy-MM-dd) names the
// finished file and its smallest field sets the period (minute to year). A
// file left from an earlier period is rolled at the first line.
class DailyRollingFileAppender final : public FileAppender
{
public:
    explicit DailyRollingFileAppender(std::wstring name);
    OptionResult SetOption(std::wstring_view option, const std::wstring& value) override;

protected:
    bool RollDue(unsigned long long size, unsigned long long pending) override;
    RollResult Roll(std::wstring& failure) override;
    void FileOpened(unsigned long long size, const SYSTEMTIME& lastWrite) override;

private:
    void StartPeriod(const SYSTEMTIME& time);

    DateFormat m_datePattern;
    CalendarUnit m_unit = CalendarUnit::Day;
    SYSTEMTIME m_periodStart = {};
    SYSTEMTIME m_nextPeriodStart = {};
};
} // namespace vwnlog
