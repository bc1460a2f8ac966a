#include "detection/ToolRunWatch.h"

#include "detection/PollingFigures.h"

#include <algorithm>
#include <cstddef>

namespace
{
// How often the job is looked at for a run that a command should have started.
constexpr DWORD kRunStartLookMs = 20;
// Room for the list's header and the ids: cmd.exe, its host and a run, with room to spare
// for whatever else joins (Wine's explorer.exe, what a run leaves behind).
constexpr size_t kListCapacity = 64;

// The file name of a process's image, or empty when it cannot be learnt.
std::wstring ImageName(HANDLE process)
{
    wchar_t path[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    if (process == nullptr || !QueryFullProcessImageNameW(process, 0, path, &length))
    {
        return std::wstring();
    }
    const std::wstring full(path, length);
    return full.substr(full.find_last_of(L"\\/") + 1);
}

bool HasEnded(HANDLE process)
{
    return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

std::vector<DWORD> ListedIds(HANDLE job)
{
    ULONG_PTR buffer[kListCapacity + 2] = {};
    auto* list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer);
    const DWORD capacity =
        (sizeof(buffer) - offsetof(JOBOBJECT_BASIC_PROCESS_ID_LIST, ProcessIdList)) / sizeof(ULONG_PTR);
    if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, list, sizeof(buffer), nullptr) &&
        GetLastError() != ERROR_MORE_DATA)
    {
        return {};
    }
    std::vector<DWORD> ids;
    const DWORD count = std::min<DWORD>(list->NumberOfProcessIdsInList, capacity);
    for (DWORD i = 0; i < count; ++i)
    {
        ids.push_back(static_cast<DWORD>(list->ProcessIdList[i]));
    }
    return ids;
}

DWORD MsLeft(ULONGLONG start, ULONGLONG limitMs)
{
    const ULONGLONG spent = GetTickCount64() - start;
    return spent >= limitMs ? 0 : static_cast<DWORD>(limitMs - spent);
}
} // namespace

void ToolRunWatch::Watch(HANDLE job, DWORD consoleProcessId)
{
    m_job = job;
    m_console = consoleProcessId;
    m_seen.clear();
    m_toolRunsSeen = 0;
    m_othersSeen = 0;
    m_unnamed = 0;
    m_total = 0;
}

void ToolRunWatch::Look()
{
    if (m_job == nullptr)
    {
        return;
    }
    // Counted before the list is read: a process that joins in between is seen in the
    // list, and never taken for one that came and went.
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
    if (QueryInformationJobObject(m_job, JobObjectBasicAccountingInformation, &accounting, sizeof(accounting),
                                  nullptr))
    {
        m_total = accounting.TotalProcesses;
    }
    const std::vector<DWORD> listed = ListedIds(m_job);
    m_unnamed = 0;
    // An ended process may stay listed for a moment: it is forgotten only once it is not.
    m_seen.erase(std::remove_if(m_seen.begin(), m_seen.end(),
                                [&](const Seen& seen)
                                { return std::find(listed.begin(), listed.end(), seen.id) == listed.end(); }),
                 m_seen.end());
    for (const DWORD id : listed)
    {
        if (id == m_console || Find(id) != nullptr)
        {
            continue;
        }
        Seen seen;
        seen.id = id;
        seen.process.Reset(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, id));
        if (!seen.process)
        {
            continue; // gone already: it came and went
        }
        // Wine names a process only some milliseconds after it joins the job: until then it
        // may be a run, and is looked at again. One that ended unnamed came and went, and is
        // taken for a run, as one never seen is.
        const std::wstring image = ImageName(seen.process.Get());
        if (image.empty() && !HasEnded(seen.process.Get()))
        {
            ++m_unnamed;
            continue;
        }
        seen.toolRun = image.empty() || lstrcmpiW(image.c_str(), kToolImage) == 0;
        seen.firstSeen = GetTickCount64();
        ++(seen.toolRun ? m_toolRunsSeen : m_othersSeen);
        m_seen.push_back(std::move(seen));
    }
}

const ToolRunWatch::Seen* ToolRunWatch::Find(DWORD id) const
{
    const auto at =
        std::find_if(m_seen.begin(), m_seen.end(), [id](const Seen& seen) { return seen.id == id; });
    return at == m_seen.end() ? nullptr : &*at;
}

unsigned ToolRunWatch::Started() const
{
    const unsigned known = 1 + m_toolRunsSeen + m_othersSeen + m_unnamed;
    return m_toolRunsSeen + (m_total > known ? m_total - known : 0);
}

const ToolRunWatch::Seen* ToolRunWatch::Going() const
{
    // In the order first seen: the oldest first.
    const auto at =
        std::find_if(m_seen.begin(), m_seen.end(),
                     [](const Seen& seen) { return seen.toolRun && !HasEnded(seen.process.Get()); });
    return at == m_seen.end() ? nullptr : &*at;
}

unsigned ToolRunWatch::RunsStarted()
{
    Look();
    return Started();
}

DWORD ToolRunWatch::RunGoing()
{
    Look();
    const Seen* run = Going();
    return run != nullptr ? run->id : 0;
}

bool ToolRunWatch::IsHung(DWORD run) const
{
    const Seen* seen = Find(run);
    return seen == nullptr || GetTickCount64() - seen->firstSeen >= kHungRunMs;
}

std::wstring ToolRunWatch::Describe(DWORD run) const
{
    const Seen* seen = Find(run);
    const std::wstring image = seen != nullptr ? ImageName(seen->process.Get()) : std::wstring();
    std::wstring text = (image.empty() ? L"a process" : image) + L" (process " + std::to_wstring(run);
    if (seen != nullptr)
    {
        text += L", running for " + std::to_wstring((GetTickCount64() - seen->firstSeen) / 1000) + L" s";
    }
    return text + L")";
}

RunWait ToolRunWatch::WaitUntilNoRun(StopSignal& stop, DWORD& run)
{
    run = 0;
    const ULONGLONG start = GetTickCount64();
    Look();
    for (const Seen* going = Going(); going != nullptr || m_unnamed > 0; Look(), going = Going())
    {
        if (going == nullptr)
        {
            // Not named yet: wait for its name, as it may be a run.
            if (MsLeft(start, kHungRunMs) == 0 || stop.Wait(kRunStartLookMs))
            {
                break;
            }
            continue;
        }
        run = going->id;
        const DWORD left = MsLeft(going->firstSeen, kHungRunMs);
        if (left == 0)
        {
            return RunWait::StillGoing;
        }
        stop.WaitFor(going->process.Get(), left);
        if (stop.Stopped())
        {
            return RunWait::Stopped;
        }
    }
    run = 0;
    return stop.Stopped() ? RunWait::Stopped : RunWait::Ended;
}

RunWait ToolRunWatch::WaitForRunOf(unsigned runsBefore, DWORD startWaitMs,
                                   const std::function<bool()>& unread, StopSignal& stop, DWORD& run)
{
    const ULONGLONG typed = GetTickCount64();
    ULONGLONG start = typed;
    run = 0;
    for (Look(); Started() <= runsBefore && Going() == nullptr; Look())
    {
        if ((unread() || m_unnamed > 0) && MsLeft(typed, kHungRunMs) > 0)
        {
            // cmd.exe has not taken the line yet (it is slow to start, or busy), or a process
            // has joined that cannot be named yet: the start wait has not begun.
            start = GetTickCount64();
        }
        const DWORD left = MsLeft(start, startWaitMs);
        if (left == 0)
        {
            return RunWait::NoneStarted;
        }
        if (stop.Wait(std::min(left, kRunStartLookMs)))
        {
            return RunWait::Stopped;
        }
    }
    return WaitUntilNoRun(stop, run);
}
