#include "logbackend/core/FileAppender.h"

#include "logbackend/core/Diagnostics.h"
#include "logbackend/core/Text.h"

namespace vwnlog
{
namespace
{
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr int kMaxNameCollisions = 100;
constexpr const char kUtf16ByteOrderMark[] = "\xFF\xFE";

bool IsRelative(const std::wstring& path)
{
    if (path.empty())
    {
        return true;
    }
    if (path[0] == L'\\' || path[0] == L'/')
    {
        return false;
    }
    return !(path.size() >= 2 && path[1] == L':');
}

} // namespace

std::wstring FullPathOf(const std::wstring& path)
{
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
    {
        return path;
    }
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
    full.resize(length < size ? length : 0);
    return full.empty() ? path : full;
}

std::wstring FolderOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

namespace
{
// Length of "C:\" or "\\server\share\" at the front of a full path.
size_t RootLength(const std::wstring& path)
{
    if (path.size() >= 2 && path[1] == L':')
    {
        return path.size() >= 3 ? 3 : 2;
    }
    if (path.compare(0, 2, L"\\\\") == 0)
    {
        size_t separators = 0;
        for (size_t i = 2; i < path.size(); ++i)
        {
            if (path[i] == L'\\' && ++separators == 2)
            {
                return i + 1;
            }
        }
        return path.size();
    }
    return path.empty() || path[0] != L'\\' ? 0 : 1;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

SYSTEMTIME LocalTimeOf(const FILETIME& utc)
{
    FILETIME local = {};
    SYSTEMTIME time = {};
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToSystemTime(&local, &time);
    return time;
}
} // namespace

bool ParseFileSize(std::wstring_view text, unsigned long long& bytes)
{
    const std::wstring_view trimmed = TrimBlanks(text);
    size_t i = 0;
    unsigned long long value = 0;
    while (i < trimmed.size() && trimmed[i] >= L'0' && trimmed[i] <= L'9')
    {
        if (value > (~0ULL) / 10 - 9)
        {
            return false;
        }
        value = value * 10 + static_cast<unsigned long long>(trimmed[i] - L'0');
        ++i;
    }
    if (i == 0)
    {
        return false;
    }
    const std::wstring_view unit = TrimBlanks(trimmed.substr(i));
    unsigned long long factor = 1;
    if (EqualsNoCase(unit, L"KB"))
    {
        factor = 1024ULL;
    }
    else if (EqualsNoCase(unit, L"MB"))
    {
        factor = 1024ULL * 1024;
    }
    else if (EqualsNoCase(unit, L"GB"))
    {
        factor = 1024ULL * 1024 * 1024;
    }
    else if (!unit.empty())
    {
        return false;
    }
    if (value == 0 || value > (~0ULL >> 1) / factor)
    {
        return false;
    }
    bytes = value * factor;
    return true;
}

DWORD CreateFolders(const std::wstring& folder)
{
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES)
    {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? ERROR_SUCCESS : ERROR_DIRECTORY;
    }
    const std::wstring parent = FolderOf(folder);
    if (!parent.empty() && parent.size() >= RootLength(folder) && parent.size() < folder.size())
    {
        const DWORD error = CreateFolders(parent);
        if (error != ERROR_SUCCESS)
        {
            return error;
        }
    }
    if (!CreateDirectoryW(folder.c_str(), nullptr))
    {
        const DWORD error = GetLastError();
        return error == ERROR_ALREADY_EXISTS ? ERROR_SUCCESS : error;
    }
    return ERROR_SUCCESS;
}

FileAppender::FileAppender(std::wstring name) : Appender(std::move(name)) {}

FileAppender::~FileAppender()
{
    if (m_file != INVALID_HANDLE_VALUE)
    {
        CloseHandle(m_file);
    }
}

std::wstring FileAppender::FileDescription() const
{
    return Describe() + L" (\"" + m_path + L"\")";
}

OptionResult FileAppender::SetOption(std::wstring_view option, const std::wstring& value)
{
    if (EqualsNoCase(option, L"File"))
    {
        m_fileOption.assign(TrimBlanks(value));
        return OptionResult::Applied;
    }
    if (EqualsNoCase(option, L"Append") || EqualsNoCase(option, L"ImmediateFlush"))
    {
        bool& target = EqualsNoCase(option, L"Append") ? m_append : m_immediateFlush;
        if (!ParseBoolean(value, target))
        {
            target = true;
            ReportError(Describe() + L": " + std::wstring(option) + L" \"" + value +
                        L"\" is neither true nor false; true is used");
            return OptionResult::BadValue;
        }
        return OptionResult::Applied;
    }
    if (EqualsNoCase(option, L"Encoding"))
    {
        if (!ParseEncoding(value, m_encoding))
        {
            m_encoding = Encoding::Utf8;
            ReportError(Describe() + L": Encoding \"" + value + L"\" is not supported; UTF-8 is used");
            return OptionResult::BadValue;
        }
        return OptionResult::Applied;
    }
    return Appender::SetOption(option, value);
}

bool FileAppender::Activate(const std::wstring& baseFolder)
{
    if (m_fileOption.empty())
    {
        ReportError(Describe() + L" has no File option; it writes nothing");
        return false;
    }
    // A background program starts from anywhere: relative names follow the configuration file.
    const std::wstring path =
        IsRelative(m_fileOption) && !baseFolder.empty() ? baseFolder + L"\\" + m_fileOption : m_fileOption;
    m_path = FullPathOf(path);
    m_pathLock.Attach(m_path);
    PathLockGuard guard(m_pathLock);
    if (!OpenLocked(!m_append))
    {
        m_nextOpenTick = GetTickCount64() + kRetryOpenMs;
    }
    return true;
}

void FileAppender::Write(const std::wstring& line)
{
    AcquireSRWLockExclusive(&m_queueLock);
    try
    {
        // Straight into the reused queue buffer: no allocation per line.
        AppendEncoded(line, m_encoding, m_pending);
    }
    catch (...)
    {
        ReleaseSRWLockExclusive(&m_queueLock);
        throw;
    }
    const unsigned long long ticket = ++m_queuedCount;
    while (m_writtenCount.load() < ticket)
    {
        if (m_writing.load())
        {
            // A batch takes microseconds; sleeping and waking would cost more
            // than that, so poll for a while first.
            ReleaseSRWLockExclusive(&m_queueLock);
            for (unsigned round = 0;
                 round < kPollRounds && m_writing.load() && m_writtenCount.load() < ticket; ++round)
            {
                if (round < 16)
                {
                    YieldProcessor();
                }
                else
                {
                    SwitchToThread();
                }
            }
            AcquireSRWLockExclusive(&m_queueLock);
            if (m_writing.load() && m_writtenCount.load() < ticket)
            {
                ++m_sleeping;
                SleepConditionVariableSRW(&m_batchWritten, &m_queueLock, INFINITE, 0);
                --m_sleeping;
            }
            continue;
        }
        m_writing.store(true);
        std::string batch;
        batch.swap(m_pending);
        m_pending.swap(m_spare);
        const unsigned long long last = m_queuedCount;
        const unsigned long long lines = last - m_writtenCount.load();
        ReleaseSRWLockExclusive(&m_queueLock);

        try
        {
            WriteBatch(batch, lines);
        }
        catch (...)
        {
            // Out of memory while reporting: the batch is gone, but the
            // queue must move on or every later caller would wait forever.
        }

        AcquireSRWLockExclusive(&m_queueLock);
        batch.clear();
        m_spare.swap(batch);
        m_writtenCount.store(last);
        m_writing.store(false);
        if (m_sleeping > 0)
        {
            WakeAllConditionVariable(&m_batchWritten);
        }
    }
    ReleaseSRWLockExclusive(&m_queueLock);
}

void FileAppender::WriteBatch(const std::string& batch, unsigned long long lines)
{
    const ULONGLONG tick = GetTickCount64();
    if (m_file == INVALID_HANDLE_VALUE)
    {
        if (tick >= m_nextOpenTick)
        {
            PathLockGuard guard(m_pathLock);
            if (!OpenLocked(false))
            {
                m_nextOpenTick = tick + kRetryOpenMs;
            }
        }
        if (m_file == INVALID_HANDLE_VALUE)
        {
            m_lostLines += lines;
            return;
        }
    }
    // Someone may have moved, deleted or replaced the file behind our back; follow the path.
    const bool checkIdentity = tick >= m_nextIdentityCheckTick;
    if (checkIdentity)
    {
        m_nextIdentityCheckTick = tick + kIdentityCheckMs;
    }
    const bool pathMoved = checkIdentity && !PathStillOurs();

    PathLockGuard guard(m_pathLock);
    if (pathMoved || m_pathLock.Generation() != m_generation)
    {
        ReopenLocked();
        if (m_file == INVALID_HANDLE_VALUE)
        {
            m_lostLines += lines;
            return;
        }
    }
    unsigned long long size = EndOfFileLocked();
    if (tick >= m_nextRollTick && RollDue(size, batch.size()))
    {
        TryRollLocked(size, batch.size());
        size = EndOfFileLocked();
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(m_file, batch.data(), static_cast<DWORD>(batch.size()), &written, nullptr) != FALSE;
    m_end = size + written;
    m_endKnown = ok;
    m_pathLock.SetLastWriter(ok ? m_writerTag : 0);
    if (ok && written == batch.size())
    {
        if (m_writeFailed)
        {
            m_writeFailed = false;
            ReportWarning(FileDescription() + L" can write again");
        }
        return;
    }
    const DWORD error = GetLastError();
    if (!m_writeFailed)
    {
        m_writeFailed = true;
        ReportError(FileDescription() + L" cannot write (" + SystemErrorText(error) +
                    L"); lines are lost until it can");
    }
}

unsigned long long FileAppender::EndOfFileLocked()
{
    // Seeking costs as much as a third of a write under Wine: skip it while
    // nobody else has written since our own last line.
    if (m_endKnown && m_pathLock.LastWriter() == m_writerTag)
    {
        return m_end;
    }
    LARGE_INTEGER end = {};
    const LARGE_INTEGER zero = {};
    SetFilePointerEx(m_file, zero, &end, FILE_END);
    return static_cast<unsigned long long>(end.QuadPart);
}

bool FileAppender::OpenLocked(bool truncate)
{
    const DWORD folderError = CreateFolders(FolderOf(m_path));
    if (truncate)
    {
        HANDLE file = CreateFileW(m_path.c_str(), GENERIC_WRITE, kShareAll, nullptr, TRUNCATE_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE)
        {
            CloseHandle(file);
            m_pathLock.SetLastWriter(0);
        }
    }
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | (m_immediateFlush ? FILE_FLAG_WRITE_THROUGH : 0);
    HANDLE file = CreateFileW(m_path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              kShareAll, nullptr, OPEN_ALWAYS, flags, nullptr);
    BY_HANDLE_FILE_INFORMATION info = {};
    if (file == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(file, &info))
    {
        const DWORD error = GetLastError();
        if (file != INVALID_HANDLE_VALUE)
        {
            CloseHandle(file);
        }
        if (!m_openFailed)
        {
            m_openFailed = true;
            std::wstring reason = SystemErrorText(error);
            if (folderError != ERROR_SUCCESS)
            {
                reason = L"its folder cannot be made: " + SystemErrorText(folderError);
            }
            ReportError(L"cannot open log file \"" + m_path + L"\" of " + Describe() + L" (" + reason +
                        L"); its lines are lost until it opens, tried again every " +
                        std::to_wstring(kRetryOpenMs / 1000) + L" s");
        }
        return false;
    }
    if (m_file != INVALID_HANDLE_VALUE)
    {
        CloseHandle(m_file);
    }
    m_file = file;
    m_endKnown = false;
    m_volume = info.dwVolumeSerialNumber;
    m_indexHigh = info.nFileIndexHigh;
    m_indexLow = info.nFileIndexLow;
    m_generation = m_pathLock.Generation();
    const unsigned long long size =
        (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    WriteByteOrderMarkIfEmpty(size);
    FileOpened(size, LocalTimeOf(info.ftLastWriteTime));
    if (m_openFailed)
    {
        m_openFailed = false;
        ReportWarning(FileDescription() + L" opened its file at last; " + std::to_wstring(m_lostLines) +
                      L" lines were lost before");
        m_lostLines = 0;
    }
    ReportDebug(FileDescription() + L" writes at offset " + std::to_wstring(size));
    return true;
}

void FileAppender::ReopenLocked()
{
    if (OwnFileDeleted())
    {
        // A doomed file keeps its name taken until every handle on it is closed.
        CloseHandle(m_file);
        m_file = INVALID_HANDLE_VALUE;
        m_endKnown = false;
    }
    const bool existed = Exists(m_path);
    if (!OpenLocked(false))
    {
        // An old file that is still there stays in use, so its lines are
        // kept; the identity check tries again later.
        m_generation = m_pathLock.Generation();
        if (m_file == INVALID_HANDLE_VALUE)
        {
            m_nextOpenTick = GetTickCount64() + kRetryOpenMs;
        }
        return;
    }
    if (!existed)
    {
        // We made the file anew: tell the other writers to follow.
        m_pathLock.BumpGeneration();
        m_generation = m_pathLock.Generation();
    }
}

bool FileAppender::OwnFileDeleted() const
{
    FILE_STANDARD_INFO info = {};
    return GetFileInformationByHandleEx(m_file, FileStandardInfo, &info, sizeof(info)) && info.DeletePending;
}

bool FileAppender::PathStillOurs() const
{
    if (OwnFileDeleted())
    {
        return false;
    }
    HANDLE probe =
        CreateFileW(m_path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
    {
        return !IsMissing(GetLastError());
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    const bool known = GetFileInformationByHandle(probe, &info) != FALSE;
    CloseHandle(probe);
    return !known || (info.dwVolumeSerialNumber == m_volume && info.nFileIndexHigh == m_indexHigh &&
                      info.nFileIndexLow == m_indexLow);
}

void FileAppender::TryRollLocked(unsigned long long size, unsigned long long pending)
{
    std::wstring failure;
    const RollResult result = Roll(failure);
    if (result == RollResult::Failed)
    {
        if (!m_rollFailed)
        {
            ReportError(FileDescription() + L" cannot " + failure +
                        L"; writing on to the current file and trying again every " +
                        std::to_wstring(kRetryRollMs / 1000) + L" s");
        }
        m_rollFailed = true;
        m_nextRollTick = GetTickCount64() + kRetryRollMs;
        return;
    }
    if (m_rollFailed)
    {
        m_rollFailed = false;
        ReportWarning(FileDescription() + L" rolled over at last");
    }
    m_pathLock.SetLastWriter(0);
    m_endKnown = false;
    if (result == RollResult::Emptied)
    {
        SYSTEMTIME now = {};
        GetLocalTime(&now);
        WriteByteOrderMarkIfEmpty(0);
        FileOpened(0, now);
        return;
    }
    if (!OpenLocked(false))
    {
        // The lines go on into the renamed file until the path opens again.
        m_nextOpenTick = GetTickCount64() + kRetryOpenMs;
    }
    m_pathLock.BumpGeneration();
    m_generation = m_pathLock.Generation();
    ReportDebug(FileDescription() + L" rolled over at " + std::to_wstring(size) + L" bytes, " +
                std::to_wstring(pending) + L" waiting");
}

void FileAppender::WriteByteOrderMarkIfEmpty(unsigned long long size)
{
    if (size != 0 || m_encoding != Encoding::Utf16)
    {
        return;
    }
    const LARGE_INTEGER zero = {};
    DWORD written = 0;
    SetFilePointerEx(m_file, zero, nullptr, FILE_END);
    WriteFile(m_file, kUtf16ByteOrderMark, 2, &written, nullptr);
}

bool FileAppender::RollDue(unsigned long long, unsigned long long)
{
    return false;
}

FileAppender::RollResult FileAppender::Roll(std::wstring& failure)
{
    failure = L"roll over (no rolling rule)";
    return RollResult::Failed;
}

void FileAppender::FileOpened(unsigned long long, const SYSTEMTIME&) {}

RollingFileAppender::RollingFileAppender(std::wstring name) : FileAppender(std::move(name)) {}

OptionResult RollingFileAppender::SetOption(std::wstring_view option, const std::wstring& value)
{
    if (EqualsNoCase(option, L"MaxFileSize"))
    {
        if (!ParseFileSize(value, m_maxFileSize))
        {
            m_maxFileSize = kDefaultMaxFileSize;
            ReportError(Describe() + L": MaxFileSize \"" + value + L"\" is not a size such as 10MB; " +
                        std::to_wstring(kDefaultMaxFileSize) + L" bytes are used");
            return OptionResult::BadValue;
        }
        return OptionResult::Applied;
    }
    if (EqualsNoCase(option, L"MaxBackupIndex"))
    {
        const std::wstring_view text = TrimBlanks(value);
        int index = 0;
        bool valid = !text.empty() && text.size() <= 6;
        for (wchar_t c : text)
        {
            valid = valid && c >= L'0' && c <= L'9';
            index = index * 10 + (c - L'0');
        }
        if (!valid)
        {
            m_maxBackupIndex = 1;
            ReportError(Describe() + L": MaxBackupIndex \"" + value +
                        L"\" is not a number from 0 to 999999; 1 is used");
            return OptionResult::BadValue;
        }
        m_maxBackupIndex = index;
        return OptionResult::Applied;
    }
    return FileAppender::SetOption(option, value);
}

std::wstring RollingFileAppender::Backup(int index) const
{
    return Path() + L"." + std::to_wstring(index);
}

bool RollingFileAppender::RollDue(unsigned long long size, unsigned long long pending)
{
    // An empty file takes even an oversized line: rolling it would gain nothing.
    return size > 0 && size + pending > m_maxFileSize;
}

FileAppender::RollResult RollingFileAppender::Roll(std::wstring& failure)
{
    if (m_maxBackupIndex == 0)
    {
        HANDLE file = CreateFileW(Path().c_str(), GENERIC_WRITE, kShareAll, nullptr, TRUNCATE_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
        {
            failure = L"empty its full file (" + SystemErrorText(GetLastError()) + L")";
            return RollResult::Failed;
        }
        CloseHandle(file);
        return RollResult::Emptied;
    }
    // Shift only up to the first gap: after a failed attempt the backups
    // below it have moved already, and moving the rest again would drop one.
    int freeSlot = 0;
    for (int i = 1; i <= m_maxBackupIndex && freeSlot == 0; ++i)
    {
        if (!Exists(Backup(i)))
        {
            freeSlot = i;
        }
    }
    auto fail = [&failure](const std::wstring& step)
    {
        failure = L"roll over (" + step + L": " + SystemErrorText(GetLastError()) + L")";
        return RollResult::Failed;
    };
    if (freeSlot == 0)
    {
        freeSlot = m_maxBackupIndex;
        if (!DeleteFileW(Backup(freeSlot).c_str()) && !IsMissing(GetLastError()))
        {
            return fail(L"delete \"" + Backup(freeSlot) + L"\"");
        }
    }
    for (int i = freeSlot - 1; i >= 1; --i)
    {
        if (!MoveFileExW(Backup(i).c_str(), Backup(i + 1).c_str(), 0))
        {
            return fail(L"rename \"" + Backup(i) + L"\"");
        }
    }
    if (!MoveFileExW(Path().c_str(), Backup(1).c_str(), 0))
    {
        return fail(L"rename to \"" + Backup(1) + L"\"");
    }
    return RollResult::Renamed;
}

DailyRollingFileAppender::DailyRollingFileAppender(std::wstring name)
    : FileAppender(std::move(name)), m_datePattern(L"'.'yyyy-MM-dd", L"")
{
}

OptionResult DailyRollingFileAppender::SetOption(std::wstring_view option, const std::wstring& value)
{
    if (EqualsNoCase(option, L"DatePattern"))
    {
        m_datePattern = DateFormat(value, Describe());
        m_unit = m_datePattern.SmallestUnit();
        if (m_unit == CalendarUnit::None)
        {
            m_unit = CalendarUnit::Day;
            ReportError(Describe() + L": DatePattern \"" + value +
                        L"\" shows no date or time; it rolls daily");
            return OptionResult::BadValue;
        }
        return OptionResult::Applied;
    }
    return FileAppender::SetOption(option, value);
}

void DailyRollingFileAppender::StartPeriod(const SYSTEMTIME& time)
{
    m_periodStart = StartOfPeriod(time, m_unit);
    m_nextPeriodStart = StartOfNextPeriod(time, m_unit);
}

void DailyRollingFileAppender::FileOpened(unsigned long long size, const SYSTEMTIME& lastWrite)
{
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    // An old non-empty file belongs to the period it was last written in.
    StartPeriod(size > 0 && CompareTimes(lastWrite, now) < 0 ? lastWrite : now);
}

bool DailyRollingFileAppender::RollDue(unsigned long long size, unsigned long long)
{
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    if (CompareTimes(now, m_nextPeriodStart) < 0)
    {
        return false;
    }
    if (size == 0)
    {
        StartPeriod(now);
        return false;
    }
    return true;
}

FileAppender::RollResult DailyRollingFileAppender::Roll(std::wstring& failure)
{
    std::wstring suffix;
    m_datePattern.Format(m_periodStart, suffix);
    std::wstring target = Path() + suffix;
    // Never overwrite an earlier file of the same name (a restored log, a clock set back).
    for (int n = 1; Exists(target) && n <= kMaxNameCollisions; ++n)
    {
        target = Path() + suffix + L"." + std::to_wstring(n);
    }
    if (!MoveFileExW(Path().c_str(), target.c_str(), 0))
    {
        failure = L"roll over (rename to \"" + target + L"\": " + SystemErrorText(GetLastError()) + L")";
        return RollResult::Failed;
    }
    return RollResult::Renamed;
}
} // namespace vwnlog
