#include "app/EndReason.h"

#include "logging/EventReports.h"

#include <atomic>

namespace
{
std::atomic<EndReason> s_reason{EndReason::Unknown};

const wchar_t* Text(EndReason reason)
{
    switch (reason)
    {
    case EndReason::FileExit:
        return L"File, Exit";
    case EndReason::ExitSwitch:
        return L"-exit";
    case EndReason::Setup:
        return L"closed by a setup";
    case EndReason::SessionEnd:
        return L"the end of the session";
    case EndReason::GaveUp:
        return L"gave up after failed reads";
    default:
        return L"its window was destroyed";
    }
}
} // namespace

void NoteEndReason(EndReason reason)
{
    EndReason unknown = EndReason::Unknown;
    s_reason.compare_exchange_strong(unknown, reason);
}

void ReportEnded()
{
    ReportToEventLog(VoltwrenEvent::kEnded, {Text(s_reason.load())});
}
