#include "logbackend/core/FileAppender.h"

#include "logbackend/core/Diagnostics.h"
#include "logbackend/core/FileLock.h"
#include "logbackend/core/SrwLockGuards.h"
#include "logbackend/core/Text.h"

#include <vector>

namespace vwnlog
{
namespace
{
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr int kMaxNameCollisions = 100;
constexpr const char kUtf16ByteOrderMark[] = "\xFF\xFE";
constexpr DWORD kCopyChunkBytes = 64 * 1024;

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

HANDLE OpenForAppending(const std::wstring& path, bool writeThrough)
{
    // Append access alone puts every write at the end of the file. Read
    // access is for the lock (LockFileEx wants read or write access) and
    // for copying at a roll; the log folder grants it to every user.
    const DWORD flags = FILE_ATTRIBUTE_NORMAL | (writeThrough ? FILE_FLAG_WRITE_THROUGH : 0);
    const DWORD access = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    HANDLE file =
        CreateFileW(path.c_str(), access | FILE_READ_DATA, kShareAll, nullptr, OPEN_ALWAYS, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
    {
        // Still worth writing to, without the lock (reported at the first line).
        file = CreateFileW(path.c_str(), access, kShareAll, nullptr, OPEN_ALWAYS, flags, nullptr);
    }
    return file;
}

unsigned long long SizeOf(HANDLE file)
{
    LARGE_INTEGER size = {};
    return GetFileSizeEx(file, &size) ? static_cast<unsigned long long>(size.QuadPart) : 0;
}

bool RollFailed(std::wstring& failure, DWORD error, const std::wstring& step)
{
    failure = L"roll over (" + step + L": " + SystemErrorText(error) + L")";
    return false;
}

bool CopyContent(HANDLE source, HANDLE copy, const std::wstring& target, std::wstring& failure)
{
    std::vector<char> chunk(kCopyChunkBytes);
    OVERLAPPED at = {};
    for (;;)
    {
        DWORD read = 0;
        if (!ReadFile(source, chunk.data(), kCopyChunkBytes, &read, &at))
        {
            const DWORD error = GetLastError();
            return error == ERROR_HANDLE_EOF || RollFailed(failure, error, L"read the file");
        }
        DWORD written = 0;
        if (read == 0)
        {
            return true;
        }
        if (!WriteFile(copy, chunk.data(), read, &written, nullptr) || written != read)
        {
            const DWORD error = GetLastError();
            return RollFailed(failure, error, L"write \"" + target + L"\"");
        }
        const unsigned long long next =
            ((static_cast<unsigned long long>(at.OffsetHigh) << 32) | at.Offset) + read;
        at.Offset = static_cast<DWORD>(next);
        at.OffsetHigh = static_cast<DWORD>(next >> 32);
    }
}

// A new file at target with the whole content of source; nothing at target on failure.
bool CopyToNewFile(HANDLE source, const std::wstring& target, std::wstring& failure)
{
    UniqueFile copy(CreateFileW(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!copy)
    {
        const DWORD error = GetLastError();
        return RollFailed(failure, error, L"create \"" + target + L"\"");
    }
    if (CopyContent(source, copy.Get(), target, failure))
    {
        return true;
    }
    copy.Reset();
    DeleteFileW(target.c_str());
    return false;
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
    if (!Open())
    {
        m_nextOpenTick = GetTickCount64() + kRetryOpenMs;
        return true;
    }
    std::wstring failure;
    if (!m_append && !Empty(failure))
    {
        ReportError(FileDescription() + L" cannot " + failure +
                    L" for Append=false; its lines are added to it");
    }
    return true;
}

void FileAppender::Write(const std::wstring& line)
{
    std::string bytes;
    AppendEncoded(line, m_encoding, bytes);
    const ULONGLONG tick = GetTickCount64();
    ExclusiveGuard guard(m_lock);
    FollowPath(tick);
    if (!EnsureOpen(tick))
    {
        ++m_lostLines;
        return;
    }
    WriteLocked(bytes, tick);
}

bool FileAppender::EnsureOpen(ULONGLONG tick)
{
    if (!m_file && tick >= m_nextOpenTick && !Open())
    {
        m_nextOpenTick = tick + kRetryOpenMs;
    }
    return m_file.IsValid();
}

void FileAppender::FollowPath(ULONGLONG tick)
{
    // Someone may have moved, deleted or replaced the file behind our back.
    if (!m_file || tick < m_nextIdentityCheckTick)
    {
        return;
    }
    m_nextIdentityCheckTick = tick + kIdentityCheckMs;
    if (PathStillOurs())
    {
        return;
    }
    if (OwnFileDeleted())
    {
        // A doomed file keeps its name taken until every handle on it is closed.
        m_file.Reset();
    }
    // Until the path opens, an old file that is still there keeps the lines.
    Open();
}

void FileAppender::WriteLocked(std::string& bytes, ULONGLONG tick)
{
    const FileLock lock(m_file.Get());
    ReportLock(lock.Result());
    unsigned long long size = SizeOf(m_file.Get());
    if (tick >= m_nextRollTick && RollDue(size, bytes.size()))
    {
        TryRoll(size);
        size = SizeOf(m_file.Get());
    }
    if (size == 0 && m_encoding == Encoding::Utf16)
    {
        bytes.insert(0, kUtf16ByteOrderMark, 2);
    }
    DWORD written = 0;
    const bool ok =
        WriteFile(m_file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE &&
        written == bytes.size();
    ReportWrite(ok, ok ? ERROR_SUCCESS : GetLastError());
}

void FileAppender::ReportLock(DWORD result)
{
    if (result != ERROR_SUCCESS && !m_lockFailed)
    {
        ReportWarning(FileDescription() + L" cannot lock its file (" + SystemErrorText(result) +
                      L"); writing without the lock, so lines of other processes may mix with ours");
    }
    else if (result == ERROR_SUCCESS && m_lockFailed)
    {
        ReportWarning(FileDescription() + L" can lock its file again");
    }
    m_lockFailed = result != ERROR_SUCCESS;
}

void FileAppender::ReportWrite(bool ok, DWORD error)
{
    if (!ok && !m_writeFailed)
    {
        ReportError(FileDescription() + L" cannot write (" + SystemErrorText(error) +
                    L"); lines are lost until it can");
    }
    else if (ok && m_writeFailed)
    {
        ReportWarning(FileDescription() + L" can write again");
    }
    m_writeFailed = !ok;
}

bool FileAppender::Open()
{
    const DWORD folderError = CreateFolders(FolderOf(m_path));
    UniqueFile file(OpenForAppending(m_path, m_immediateFlush));
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!file || !GetFileInformationByHandle(file.Get(), &info))
    {
        const DWORD error = GetLastError();
        if (!m_openFailed)
        {
            m_openFailed = true;
            const std::wstring reason = folderError == ERROR_SUCCESS
                                            ? SystemErrorText(error)
                                            : L"its folder cannot be made: " + SystemErrorText(folderError);
            ReportError(L"cannot open log file \"" + m_path + L"\" of " + Describe() + L" (" + reason +
                        L"); its lines are lost until it opens, tried again every " +
                        std::to_wstring(kRetryOpenMs / 1000) + L" s");
        }
        return false;
    }
    m_file = std::move(file);
    m_identity = info;
    const unsigned long long size =
        (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
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

bool FileAppender::OwnFileDeleted() const
{
    FILE_STANDARD_INFO info = {};
    return GetFileInformationByHandleEx(m_file.Get(), FileStandardInfo, &info, sizeof(info)) &&
           info.DeletePending;
}

bool FileAppender::PathStillOurs() const
{
    if (OwnFileDeleted())
    {
        return false;
    }
    const UniqueFile probe(
        CreateFileW(m_path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!probe)
    {
        return !IsMissing(GetLastError());
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    return !GetFileInformationByHandle(probe.Get(), &info) ||
           (info.dwVolumeSerialNumber == m_identity.dwVolumeSerialNumber &&
            info.nFileIndexHigh == m_identity.nFileIndexHigh &&
            info.nFileIndexLow == m_identity.nFileIndexLow);
}

void FileAppender::TryRoll(unsigned long long size)
{
    std::wstring failure;
    if (!Roll(failure))
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
    ReportDebug(FileDescription() + L" rolled over at " + std::to_wstring(size) + L" bytes");
}

bool FileAppender::Roll(std::wstring& failure)
{
    const UniqueFile whole(ReopenToEmpty());
    if (!whole)
    {
        return RollFailed(failure, GetLastError(), L"open it for emptying");
    }
    std::wstring target;
    return PrepareBackup(target, failure) && EmptyInto(whole.Get(), target, failure);
}

bool FileAppender::Empty(std::wstring& failure)
{
    const FileLock lock(m_file.Get());
    const UniqueFile whole(ReopenToEmpty());
    if (!whole)
    {
        return RollFailed(failure, GetLastError(), L"open it for emptying");
    }
    return EmptyInto(whole.Get(), std::wstring(), failure);
}

HANDLE FileAppender::ReopenToEmpty() const
{
    // Our own file, whatever its name is now. A writer without write access
    // to it (another user's file) fails here, before anything has moved.
    return ReOpenFile(m_file.Get(), GENERIC_READ | GENERIC_WRITE, kShareAll, 0);
}

bool FileAppender::EmptyInto(HANDLE whole, const std::wstring& target, std::wstring& failure)
{
    if (!target.empty() && !CopyToNewFile(whole, target, failure))
    {
        return false;
    }
    FILE_END_OF_FILE_INFO end = {};
    if (!SetFileInformationByHandle(whole, FileEndOfFileInfo, &end, sizeof(end)))
    {
        return RollFailed(failure, GetLastError(), L"empty it");
    }
    SYSTEMTIME now = {};
    GetLocalTime(&now);
    FileOpened(0, now);
    return true;
}

bool FileAppender::RollDue(unsigned long long, unsigned long long)
{
    return false;
}

bool FileAppender::PrepareBackup(std::wstring&, std::wstring& failure)
{
    failure = L"roll over (no rolling rule)";
    return false;
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

bool RollingFileAppender::PrepareBackup(std::wstring& target, std::wstring& failure)
{
    target.clear();
    if (m_maxBackupIndex == 0)
    {
        return true;
    }
    // Shift only up to the first gap: after a failed attempt the backups
    // below it have moved already, and moving the rest again would drop one.
    int freeSlot = 1;
    while (freeSlot <= m_maxBackupIndex && Exists(Backup(freeSlot)))
    {
        ++freeSlot;
    }
    if (freeSlot > m_maxBackupIndex)
    {
        freeSlot = m_maxBackupIndex;
        if (!DeleteFileW(Backup(freeSlot).c_str()) && !IsMissing(GetLastError()))
        {
            const DWORD error = GetLastError();
            return RollFailed(failure, error, L"delete \"" + Backup(freeSlot) + L"\"");
        }
    }
    for (int i = freeSlot - 1; i >= 1; --i)
    {
        if (!MoveFileExW(Backup(i).c_str(), Backup(i + 1).c_str(), 0))
        {
            const DWORD error = GetLastError();
            return RollFailed(failure, error, L"rename \"" + Backup(i) + L"\"");
        }
    }
    target = Backup(1);
    return true;
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

bool DailyRollingFileAppender::PrepareBackup(std::wstring& target, std::wstring&)
{
    std::wstring suffix;
    m_datePattern.Format(m_periodStart, suffix);
    target = Path() + suffix;
    // Never overwrite an earlier file of the same name (a restored log, a clock set back).
    for (int n = 1; Exists(target) && n <= kMaxNameCollisions; ++n)
    {
        target = Path() + suffix + L"." + std::to_wstring(n);
    }
    return true;
}
} // namespace vwnlog
