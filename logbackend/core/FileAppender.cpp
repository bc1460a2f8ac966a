#include "logbackend/core/FileAppender.h"

#include "logbackend/core/Diagnostics.h"
#include "logbackend/core/FileLock.h"
#include "logbackend/core/FilePaths.h"
#include "logbackend/core/FolderEntry.h"
#include "logbackend/core/SrwLockGuards.h"
#include "logbackend/core/Text.h"
#include "base/TreeRemoval.h"

#include <vector>

namespace vwnlog
{
namespace
{
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr const char kUtf16ByteOrderMark[] = "\xFF\xFE";
constexpr DWORD kCopyChunkBytes = 64 * 1024;
// Another writer may make or remove the name between our steps; a few tries settle it.
constexpr int kOpenAttempts = 3;

SYSTEMTIME LocalTimeOf(const FILETIME& utc)
{
    FILETIME local = {};
    SYSTEMTIME time = {};
    FileTimeToLocalFileTime(&utc, &local);
    FileTimeToSystemTime(&local, &time);
    return time;
}

HANDLE OpenLogFile(const std::wstring& path, DWORD disposition, bool writeThrough)
{
    // Append access alone puts every write at the end of the file. Read
    // access is for the lock (LockFileEx wants read or write access) and
    // for copying at a roll; the log folder grants it to every user. A link
    // is opened as itself where the system allows it, to be judged before use.
    const DWORD flags =
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | (writeThrough ? FILE_FLAG_WRITE_THROUGH : 0);
    const DWORD access = FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
    HANDLE file =
        CreateFileW(path.c_str(), access | FILE_READ_DATA, kShareAll, nullptr, disposition, flags, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
    {
        // Still worth writing to, without the lock (reported at the first line).
        file = CreateFileW(path.c_str(), access, kShareAll, nullptr, disposition, flags, nullptr);
    }
    return file;
}

// Opens what is at the name, or makes a new file where nothing is. Never
// OPEN_ALWAYS: that would make a file wherever a dangling link points.
HANDLE OpenForAppending(const std::wstring& path, bool writeThrough)
{
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt)
    {
        HANDLE file = OpenLogFile(path, OPEN_EXISTING, writeThrough);
        if (file != INVALID_HANDLE_VALUE || !IsMissing(GetLastError()))
        {
            return file;
        }
        file = OpenLogFile(path, CREATE_NEW, writeThrough);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
        {
            return file;
        }
    }
    return INVALID_HANDLE_VALUE;
}

unsigned long long SizeOf(HANDLE file)
{
    LARGE_INTEGER size = {};
    return GetFileSizeEx(file, &size) ? static_cast<unsigned long long>(size.QuadPart) : 0;
}

bool Failed(StepFailure& failure, DWORD error, const std::wstring& step)
{
    failure.text = step + L": " + SystemErrorText(error);
    failure.error = error;
    return false;
}

bool CopyContent(HANDLE source, HANDLE copy, const std::wstring& target, StepFailure& failure)
{
    std::vector<char> chunk(kCopyChunkBytes);
    OVERLAPPED at = {};
    for (;;)
    {
        DWORD read = 0;
        if (!ReadFile(source, chunk.data(), kCopyChunkBytes, &read, &at))
        {
            const DWORD error = GetLastError();
            return error == ERROR_HANDLE_EOF || Failed(failure, error, L"read the file");
        }
        if (read == 0)
        {
            return true;
        }
        DWORD written = 0;
        if (!WriteFile(copy, chunk.data(), read, &written, nullptr) || written != read)
        {
            const DWORD error = GetLastError();
            return Failed(failure, error, L"write \"" + target + L"\"");
        }
        const unsigned long long next =
            ((static_cast<unsigned long long>(at.OffsetHigh) << 32) | at.Offset) + read;
        at.Offset = static_cast<DWORD>(next);
        at.OffsetHigh = static_cast<DWORD>(next >> 32);
    }
}

// Takes back a copy whose lines stay in the file: kept, it would hold them twice.
// Deleted through its own handle, so a scanner that opened it meanwhile cannot keep
// it; should even that fail, it is emptied.
void DiscardCopy(UniqueFile& copy)
{
    FILE_DISPOSITION_INFO disposition = {};
    disposition.DeleteFile = TRUE;
    if (!SetFileInformationByHandle(copy.Get(), FileDispositionInfo, &disposition, sizeof(disposition)))
    {
        FILE_END_OF_FILE_INFO end = {};
        SetFileInformationByHandle(copy.Get(), FileEndOfFileInfo, &end, sizeof(end));
    }
    copy.Reset();
}

// A new file at target with the whole content of source, still open in copy;
// nothing at target on failure.
bool CopyToNewFile(HANDLE source, const std::wstring& target, UniqueFile& copy, StepFailure& failure)
{
    copy.Reset(CreateFileW(target.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!copy)
    {
        const DWORD error = GetLastError();
        return Failed(failure, error, L"create \"" + target + L"\"");
    }
    if (CopyContent(source, copy.Get(), target, failure))
    {
        return true;
    }
    DiscardCopy(copy);
    return false;
}
} // namespace

FileAppender::FileAppender(std::wstring name) : Appender(std::move(name)) {}

bool FileAppender::Failed(StepFailure& failure, DWORD error, const std::wstring& step)
{
    return vwnlog::Failed(failure, error, step);
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
    m_path = LongPathOf(FullPathOf(path));
    if (!Open())
    {
        m_nextOpenTick = GetTickCount64() + kRetryOpenMs;
        return true;
    }
    StepFailure failure;
    if (!m_append && !Empty(failure))
    {
        ReportError(FileDescription() + L" cannot empty its file for Append=false (" + failure.text +
                    L"); its lines are added to it");
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
    if (!m_file || (tick < m_nextIdentityCheckTick && !m_recheckDue))
    {
        return;
    }
    m_nextIdentityCheckTick = tick + kIdentityCheckMs;
    if (!m_recheckDue && PathStillOurs())
    {
        return;
    }
    m_recheckDue = false;
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
    // Never while another writer holds the lock: emptying the file could take its line.
    const bool mayRoll = lock.Result() != ERROR_LOCK_VIOLATION && tick >= m_nextRollTick;
    unsigned long long size = SizeOf(m_file.Get());
    if (mayRoll && RollDue(size, bytes.size()))
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
    if (!LearnFinalPath(CreateFolders(FolderOf(m_path))))
    {
        return false;
    }
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt)
    {
        UniqueFile file(OpenForAppending(m_path, m_immediateFlush));
        if (!file)
        {
            return OpenFailed(SystemErrorText(GetLastError()));
        }
        const EntryKind kind = JudgeEntry(file.Get(), m_finalPath);
        if (kind == EntryKind::Own)
        {
            Adopt(std::move(file));
            return true;
        }
        file.Reset();
        StepFailure failure;
        if (!RemovePlanted(m_path, failure))
        {
            return OpenFailed(failure.text);
        }
    }
    return OpenFailed(L"other writers keep replacing it");
}

bool FileAppender::LearnFinalPath(DWORD folderError)
{
    if (!ExpectFinalPath(m_path, m_finalPath))
    {
        const DWORD error = GetLastError();
        return OpenFailed(folderError == ERROR_SUCCESS
                              ? SystemErrorText(error)
                              : L"its folder cannot be made: " + SystemErrorText(folderError));
    }
    if (!m_finalPath.Known() && !m_noFinalPathReported)
    {
        // RAM disks and some shares: a name is then trusted on its other two signs, which on Windows,
        // where a link opens as itself, are the ones that tell.
        m_noFinalPathReported = true;
        ReportWarning(FileDescription() + L" cannot read the final path of its folder (" +
                      SystemErrorText(m_finalPath.error) +
                      L"); a name there is used when it is no link and the file's only name");
    }
    return true;
}

bool FileAppender::OpenFailed(const std::wstring& reason)
{
    if (!m_openFailed)
    {
        m_openFailed = true;
        ReportError(L"cannot open log file \"" + m_path + L"\" of " + Describe() + L" (" + reason +
                    L"); its lines are lost until it opens, tried again every " +
                    std::to_wstring(kRetryOpenMs / 1000) + L" s");
    }
    return false;
}

void FileAppender::Adopt(UniqueFile file)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    GetFileInformationByHandle(file.Get(), &info);
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
}

ExpectedFinalPath FileAppender::FinalPathFor(const std::wstring& entry) const
{
    return m_finalPath.ForName(entry);
}

bool FileAppender::Refused(StepFailure& failure, const std::wstring& entry)
{
    failure.text =
        L"\"" + entry + L"\" is a link that this system follows to another file; both are left alone";
    failure.error = kErrorStoppedOnSymlink;
    return false;
}

bool FileAppender::RemovePlanted(const std::wstring& entry, StepFailure& failure)
{
    const OpenedEntry planted = OpenEntry(entry, DELETE, FinalPathFor(entry));
    if (planted.kind == EntryKind::Missing || planted.kind == EntryKind::Own)
    {
        return true; // another writer was first
    }
    if (!planted.handle)
    {
        return Failed(failure, planted.error, L"open \"" + entry + L"\" to remove it");
    }
    if (planted.kind == EntryKind::Elsewhere)
    {
        return Refused(failure, entry);
    }
    const DWORD error = DeleteEntry(planted.handle.Get());
    if (error != ERROR_SUCCESS)
    {
        return Failed(failure, error, L"remove \"" + entry + L"\"");
    }
    ReportWarning(FileDescription() + L" found \"" + entry +
                  L"\" to be a link or a second name of another file; that name alone was removed, and the "
                  L"file behind it is untouched");
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
    const UniqueFile probe(CreateFileW(m_path.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
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
    StepFailure failure;
    if (!Roll(failure))
    {
        const bool refused = failure.error == ERROR_ACCESS_DENIED;
        // A link left alone stays where it is until someone removes it.
        const bool lasting = refused || failure.error == kErrorStoppedOnSymlink;
        const ULONGLONG retryMs = lasting ? kRetryRefusedRollMs : kRetryRollMs;
        if (!m_rollFailed && refused)
        {
            ReportError(FileDescription() + L" may not roll over (" + failure.text +
                        L"): the log folder's rights must let every user replace its files; writing on to "
                        L"the current file and trying again every " +
                        std::to_wstring(retryMs / 1000) + L" s");
        }
        else if (!m_rollFailed)
        {
            ReportError(FileDescription() + L" cannot roll over (" + failure.text +
                        L"); writing on to the current file and trying again every " +
                        std::to_wstring(retryMs / 1000) + L" s");
        }
        m_rollFailed = true;
        m_nextRollTick = GetTickCount64() + retryMs;
        return;
    }
    if (m_rollFailed)
    {
        m_rollFailed = false;
        ReportWarning(FileDescription() + L" rolled over at last");
    }
    ReportDebug(FileDescription() + L" rolled over at " + std::to_wstring(size) + L" bytes");
}

bool FileAppender::Roll(StepFailure& failure)
{
    const UniqueFile whole(ReopenToEmpty(failure));
    if (!whole)
    {
        return false;
    }
    std::wstring target;
    return PrepareBackup(target, failure) && EmptyInto(whole.Get(), target, failure);
}

bool FileAppender::Empty(StepFailure& failure)
{
    const FileLock lock(m_file.Get());
    const UniqueFile whole(ReopenToEmpty(failure));
    if (!whole)
    {
        return false;
    }
    return EmptyInto(whole.Get(), std::wstring(), failure);
}

HANDLE FileAppender::ReopenToEmpty(StepFailure& failure)
{
    if (JudgeEntry(m_file.Get(), m_finalPath) != EntryKind::Own)
    {
        // Moved away, or given a second name, since it was opened: the path is looked at again first.
        m_recheckDue = true;
        failure.text = L"the file is no longer the only name at its path";
        failure.error = ERROR_FILE_INVALID;
        return INVALID_HANDLE_VALUE;
    }
    // A writer without write access to it (another user's file) fails here, before anything has moved.
    HANDLE whole = ReOpenFile(m_file.Get(), GENERIC_READ | GENERIC_WRITE, kShareAll, 0);
    if (whole == INVALID_HANDLE_VALUE)
    {
        Failed(failure, GetLastError(), L"open the file for emptying");
    }
    return whole;
}

bool FileAppender::EmptyInto(HANDLE whole, const std::wstring& target, StepFailure& failure)
{
    UniqueFile copy;
    if (!target.empty() && !CopyToNewFile(whole, target, copy, failure))
    {
        return false;
    }
    FILE_END_OF_FILE_INFO end = {};
    if (!SetFileInformationByHandle(whole, FileEndOfFileInfo, &end, sizeof(end)))
    {
        // A mapped view (a viewer, an indexer, a scanner) forbids shortening the file.
        Failed(failure, GetLastError(), L"empty the file");
        if (copy)
        {
            DiscardCopy(copy);
        }
        return false;
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

bool FileAppender::PrepareBackup(std::wstring&, StepFailure& failure)
{
    failure.text = L"no rolling rule";
    return false;
}

void FileAppender::FileOpened(unsigned long long, const SYSTEMTIME&) {}

} // namespace vwnlog
