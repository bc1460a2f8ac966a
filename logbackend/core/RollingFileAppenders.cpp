#include "logbackend/core/FileAppender.h"

#include "logbackend/core/Diagnostics.h"
#include "logbackend/core/FilePaths.h"
#include "logbackend/core/FolderEntry.h"
#include "logbackend/core/Text.h"

namespace vwnlog
{
namespace
{
constexpr int kMaxNameCollisions = 100;
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

bool RollingFileAppender::PrepareBackup(std::wstring& target, StepFailure& failure)
{
    target.clear();
    if (m_maxBackupIndex == 0)
    {
        return true;
    }
    // Shift only up to the first gap: after a failed attempt the backups
    // below it have moved already, and moving the rest again would drop one.
    int freeSlot = 1;
    for (bool taken = true; freeSlot <= m_maxBackupIndex; ++freeSlot)
    {
        if (!BackupTaken(Backup(freeSlot), taken, failure))
        {
            return false;
        }
        if (!taken)
        {
            break;
        }
    }
    if (freeSlot > m_maxBackupIndex)
    {
        freeSlot = m_maxBackupIndex;
        if (!DeleteBackup(Backup(freeSlot), failure))
        {
            return false;
        }
    }
    for (int i = freeSlot - 1; i >= 1; --i)
    {
        if (!MoveBackup(Backup(i), Backup(i + 1), failure))
        {
            return false;
        }
    }
    target = Backup(1);
    return true;
}

bool RollingFileAppender::BackupTaken(const std::wstring& backup, bool& taken, StepFailure& failure)
{
    // Attributes only: a viewer that holds the backup without delete sharing does not stop this look.
    const OpenedEntry entry = OpenEntry(backup, 0, FinalPathFor(backup));
    taken = entry.kind != EntryKind::Missing;
    if (!entry.handle || entry.kind == EntryKind::Own)
    {
        return true; // an entry that cannot be opened is still there: the move will say why
    }
    if (entry.kind == EntryKind::Elsewhere)
    {
        return Refused(failure, backup);
    }
    taken = false;
    return RemovePlanted(backup, failure);
}

bool RollingFileAppender::DeleteBackup(const std::wstring& backup, StepFailure& failure)
{
    const OpenedEntry entry = OpenEntry(backup, DELETE, FinalPathFor(backup));
    if (entry.kind == EntryKind::Missing)
    {
        return true;
    }
    if (!entry.handle)
    {
        return Failed(failure, entry.error, L"delete \"" + backup + L"\"");
    }
    if (entry.kind != EntryKind::Own)
    {
        return Refused(failure, backup);
    }
    const DWORD error = DeleteEntry(entry.handle.Get());
    return error == ERROR_SUCCESS || Failed(failure, error, L"delete \"" + backup + L"\"");
}

bool RollingFileAppender::MoveBackup(const std::wstring& backup, const std::wstring& to, StepFailure& failure)
{
    const OpenedEntry entry = OpenEntry(backup, DELETE, FinalPathFor(backup));
    if (!entry.handle)
    {
        return Failed(failure, entry.error, L"rename \"" + backup + L"\"");
    }
    if (entry.kind != EntryKind::Own)
    {
        return Refused(failure, backup);
    }
    const DWORD error = RenameEntry(entry.handle.Get(), to);
    return error == ERROR_SUCCESS || Failed(failure, error, L"rename \"" + backup + L"\"");
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

bool DailyRollingFileAppender::PrepareBackup(std::wstring& target, StepFailure&)
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
