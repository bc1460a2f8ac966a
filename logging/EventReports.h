#pragma once

#include "base/EventLog.h"

#include <string>
#include <vector>

// The program's reports to the Windows Application log. Callers name an event of the
// catalogue (base/EventLog.h) and its inserts; the rule of the event decides whether it is
// written:
//   - at most once per process: 1000, 1001, 2003, 3000, 3001, 4000, 4001, 6000;
//   - the first, then at most once an hour, with how often it happened since (this time
//     included) as the last insert: 2000, 2002, 5001;
//   - once after each 2000 that was written: 2001;
//   - when its inserts differ from the last written ones: 5000.
// Nothing is written before 1000: what comes earlier is held and follows it, so a refused
// second start, which never gets there, writes nothing. Nothing is written after 1001, and
// the source is closed then. The source is opened by the first event due, and nothing
// runs unless an event is reported: a healthy poll, which reports none, costs nothing.
// Any thread may report.
void ReportToEventLog(const EventKind& event, std::vector<std::wstring> inserts);

// The condition of an event written "when it changes" is gone (toasts are on again): its
// next report is written.
void ForgetEventCondition(const EventKind& event);
