// Reports known events through the program's own source, so that story-events.sh can check
// the trace parse (scripts/event-trace) against what ReportEventW was given.
#include "base/EventLog.h"

int wmain()
{
    EventLogSource source;
    const bool reported =
        source.Open() &&
        source.Report(VoltwrenEvent::kGaveUp, {L"quote \" back\\slash\ttab", L"\u4E2D\u6587 \u00E9"}) &&
        source.Report(VoltwrenEvent::kCommandResent, {L"line\r\nbreak", std::wstring(300, L'x'), L""}) &&
        source.Report(VoltwrenEvent::kEnded, {L"plain"});
    return reported ? 0 : 1;
}
