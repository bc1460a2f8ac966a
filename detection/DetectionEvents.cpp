#include "detection/DetectionEvents.h"

#include "logging/EventReports.h"

#include <atomic>

namespace
{
// GetTickCount64 of the first read without a value of the current run of them; 0: none yet.
std::atomic<ULONGLONG> s_noValueSinceMs{0};

std::wstring SecondsWithoutValue()
{
    const ULONGLONG since = s_noValueSinceMs.load();
    return since == 0 ? std::wstring(L"unknown") : std::to_wstring((GetTickCount64() - since) / 1000);
}

std::wstring Address(UINT32 address)
{
    wchar_t text[16] = {};
    wsprintfW(text, L"0x%X", address);
    return text;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
} // namespace

void NoteFirstReadWithoutValue()
{
    s_noValueSinceMs.store(GetTickCount64());
}

void ReportCommandResent(UINT32 reads, const std::wstring& toolFolder)
{
    ReportToEventLog(VoltwrenEvent::kCommandResent, {std::to_wstring(reads), toolFolder});
}

void ReportReadingsBack()
{
    ReportToEventLog(VoltwrenEvent::kReadingsBack, {SecondsWithoutValue()});
}

void ReportConsoleRenewed(const std::wstring& why)
{
    ReportToEventLog(VoltwrenEvent::kConsoleRenewed, {why});
}

void ReportNoChip(UINT32 firstAddress, UINT32 secondAddress)
{
    ReportToEventLog(VoltwrenEvent::kNoChip, {Address(firstAddress), Address(secondAddress)});
}

void ReportGaveUp(UINT32 failedReads)
{
    ReportToEventLog(VoltwrenEvent::kGaveUp, {std::to_wstring(failedReads), SecondsWithoutValue()});
}

void ReportIfToolUnusable(const std::wstring& toolFolder, const std::wstring& valueFolder)
{
    const std::wstring tool = toolFolder + L"ITERHPGen.exe";
    const std::wstring ini = toolFolder + L"OutputPath.ini";
    if (!Exists(toolFolder))
    {
        ReportToEventLog(VoltwrenEvent::kToolUnusable, {L"the tool's folder", toolFolder});
    }
    else if (!Exists(tool))
    {
        ReportToEventLog(VoltwrenEvent::kToolUnusable, {L"ITERHPGen.exe", tool});
    }
    else if (valueFolder.empty())
    {
        ReportToEventLog(VoltwrenEvent::kToolUnusable, {L"OutputPath.ini", ini});
    }
    else if (!Exists(valueFolder))
    {
        ReportToEventLog(VoltwrenEvent::kToolUnusable,
                         {L"the folder that OutputPath.ini names", valueFolder});
    }
}
