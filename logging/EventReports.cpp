#include "logging/EventReports.h"

#include <map>
#include <mutex>
#include <utility>

namespace
{
constexpr ULONGLONG kHourMs = 60ULL * 60 * 1000;

enum class Rule
{
    OncePerProcess,
    FirstThenHourly,
    AfterCommandResent,
    OnChange,
};

Rule RuleOf(DWORD id)
{
    switch (id)
    {
    case VoltwrenEvent::kCommandResent.id:
    case VoltwrenEvent::kConsoleRenewed.id:
    case VoltwrenEvent::kToastRefused.id:
        return Rule::FirstThenHourly;
    case VoltwrenEvent::kReadingsBack.id:
        return Rule::AfterCommandResent;
    case VoltwrenEvent::kToastsOff.id:
        return Rule::OnChange;
    default:
        return Rule::OncePerProcess;
    }
}

struct EventState
{
    bool written = false;
    ULONGLONG writtenAtMs = 0;
    unsigned long long countSince = 0;
    std::vector<std::wstring> inserts;
};

struct Reports
{
    std::mutex lock;
    EventLogSource source;
    bool opened = false;
    bool started = false;
    bool ended = false;
    bool resendUnanswered = false;
    std::map<DWORD, EventState> states;
    std::vector<std::pair<EventKind, std::vector<std::wstring>>> held;
};

Reports& TheReports()
{
    static Reports reports;
    return reports;
}

// Applies the event's rule; a due event of the hourly kind gets its count as the last insert.
bool IsDue(Reports& reports, const EventKind& event, std::vector<std::wstring>& inserts)
{
    EventState& state = reports.states[event.id];
    switch (RuleOf(event.id))
    {
    case Rule::OncePerProcess:
        if (state.written)
        {
            return false;
        }
        break;
    case Rule::FirstThenHourly:
    {
        ++state.countSince;
        const ULONGLONG now = GetTickCount64();
        if (state.written && now - state.writtenAtMs < kHourMs)
        {
            return false;
        }
        inserts.push_back(std::to_wstring(state.countSince));
        state.countSince = 0;
        state.writtenAtMs = now;
        break;
    }
    case Rule::AfterCommandResent:
        if (!reports.resendUnanswered)
        {
            return false;
        }
        reports.resendUnanswered = false;
        break;
    case Rule::OnChange:
        if (state.written && state.inserts == inserts)
        {
            return false;
        }
        state.inserts = inserts;
        break;
    }
    state.written = true;
    if (event.id == VoltwrenEvent::kCommandResent.id)
    {
        reports.resendUnanswered = true;
    }
    return true;
}

// RegisterEventSourceW once per process: a source the system refused stays refused.
void Write(Reports& reports, const EventKind& event, const std::vector<std::wstring>& inserts)
{
    if (!reports.opened)
    {
        reports.opened = true;
        reports.source.Open();
    }
    reports.source.Report(event, inserts);
}
} // namespace

void ReportToEventLog(const EventKind& event, std::vector<std::wstring> inserts)
{
    Reports& reports = TheReports();
    const std::lock_guard<std::mutex> guard(reports.lock);
    if (reports.ended || !IsDue(reports, event, inserts))
    {
        return;
    }
    if (!reports.started && event.id != VoltwrenEvent::kStarted.id)
    {
        reports.held.emplace_back(event, std::move(inserts));
        return;
    }
    Write(reports, event, inserts);
    if (event.id == VoltwrenEvent::kStarted.id)
    {
        reports.started = true;
        for (const auto& [heldEvent, heldInserts] : reports.held)
        {
            Write(reports, heldEvent, heldInserts);
        }
        reports.held.clear();
    }
    if (event.id == VoltwrenEvent::kEnded.id)
    {
        reports.ended = true;
        reports.source.Close();
    }
}

void ForgetEventCondition(const EventKind& event)
{
    Reports& reports = TheReports();
    const std::lock_guard<std::mutex> guard(reports.lock);
    reports.states[event.id].written = false;
}
