#pragma once

#include "logbackend/core/Appender.h"
#include "logbackend/core/DateFormat.h"
#include "logbackend/core/FolderEntry.h"
#include "base/UniqueHandle.h"

#include <windows.h>

#include <string>

namespace vwnlog
{
// Parses a size such as "10MB", "512 KB", "1GB" or "4096" (bytes).
bool ParseFileSize(std::wstring_view text, unsigned long long& bytes);

// What a failed step of a roll says ("step: error text") and the system error behind it.
struct StepFailure
{
    std::wstring text;
    DWORD error = ERROR_SUCCESS;
};

// log4j's FileAppender, shared safely by threads, processes, sessions and
// users: each line is one whole write at the end of the file under the
// file's FileLock. A roll copies the full file to its backup and empties it
// in place, so every writer's handle stays on the file at the path. A name of
// the log folder is used only once a handle on it shows the file itself
// (FolderEntry.h): at each open, and before each roll, emptying, rename or delete.
class FileAppender : public Appender
{
public:
    explicit FileAppender(std::wstring name);

    OptionResult SetOption(std::wstring_view option, const std::wstring& value) override;
    bool Activate(const std::wstring& baseFolder) override;

    const std::wstring& Path() const { return m_path; }

    static constexpr ULONGLONG kRetryOpenMs = 5000;
    static constexpr ULONGLONG kRetryRollMs = 1000;
    // A roll that the file's rights refuse fails the same way on every try.
    static constexpr ULONGLONG kRetryRefusedRollMs = 60000;
    static constexpr ULONGLONG kIdentityCheckMs = 1000;

protected:
    void Write(const std::wstring& line) override;

    // Asked under the file lock, before a line of pending bytes.
    virtual bool RollDue(unsigned long long size, unsigned long long pending);
    // Makes room for the full file's copy and names it; an empty target
    // drops the lines. On failure, says what failed (no trailing period).
    virtual bool PrepareBackup(std::wstring& target, StepFailure& failure);
    // A file was opened or emptied: its size and last write time (local).
    virtual void FileOpened(unsigned long long size, const SYSTEMTIME& lastWrite);

    std::wstring FileDescription() const;
    // Puts "step: error text" and the error in failure; returns false.
    static bool Failed(StepFailure& failure, DWORD error, const std::wstring& step);
    // The same for an entry that may be neither used nor removed; returns false.
    static bool Refused(StepFailure& failure, const std::wstring& entry);
    // The final path at which a handle on entry, a name in the log file's folder, finds the entry itself.
    ExpectedFinalPath FinalPathFor(const std::wstring& entry) const;
    // Removes a name of the folder that a check found to be a link or a second name of
    // another file, through a handle on that name, and says so once; true when it is gone.
    bool RemovePlanted(const std::wstring& entry, StepFailure& failure);

private:
    bool Open();
    bool OpenFailed(const std::wstring& reason);
    bool LearnFinalPath(DWORD folderError);
    void Adopt(UniqueFile file);
    bool EnsureOpen(ULONGLONG tick);
    void FollowPath(ULONGLONG tick);
    bool PathStillOurs() const;
    bool OwnFileDeleted() const;
    void WriteLocked(std::string& bytes, ULONGLONG tick);
    void TryRoll(unsigned long long size);
    bool Roll(StepFailure& failure);
    bool Empty(StepFailure& failure);
    HANDLE ReopenToEmpty(StepFailure& failure);
    bool EmptyInto(HANDLE whole, const std::wstring& target, StepFailure& failure);
    void ReportLock(DWORD result);
    void ReportWrite(bool ok, DWORD error);

    // Options.
    std::wstring m_fileOption;
    bool m_append = true;
    bool m_immediateFlush = true;
    Encoding m_encoding = Encoding::Utf8;

    // The file; touched only under m_lock.
    SRWLOCK m_lock = SRWLOCK_INIT;
    std::wstring m_path;
    // Where a handle on the file itself finds it (GetFinalPathNameByHandleW).
    ExpectedFinalPath m_finalPath;
    UniqueFile m_file;
    BY_HANDLE_FILE_INFORMATION m_identity = {};
    ULONGLONG m_nextOpenTick = 0;
    ULONGLONG m_nextIdentityCheckTick = 0;
    ULONGLONG m_nextRollTick = 0;
    bool m_openFailed = false;
    // Its folder has no final path the system can name: said once.
    bool m_noFinalPathReported = false;
    // The file failed its check before a roll: the path is looked at at the next line.
    bool m_recheckDue = false;
    bool m_lockFailed = false;
    bool m_writeFailed = false;
    bool m_rollFailed = false;
    unsigned long long m_lostLines = 0;
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
    bool PrepareBackup(std::wstring& target, StepFailure& failure) override;

private:
    std::wstring Backup(int index) const;
    // Whether a backup holds the slot; a planted name there is removed and leaves it free.
    bool BackupTaken(const std::wstring& backup, bool& taken, StepFailure& failure);
    bool DeleteBackup(const std::wstring& backup, StepFailure& failure);
    bool MoveBackup(const std::wstring& backup, const std::wstring& to, StepFailure& failure);

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
    bool PrepareBackup(std::wstring& target, StepFailure& failure) override;
    void FileOpened(unsigned long long size, const SYSTEMTIME& lastWrite) override;

private:
    void StartPeriod(const SYSTEMTIME& time);

    DateFormat m_datePattern;
    CalendarUnit m_unit = CalendarUnit::Day;
    SYSTEMTIME m_periodStart = {};
    SYSTEMTIME m_nextPeriodStart = {};
};
} // namespace vwnlog
