#pragma once

#include "base/UniqueHandle.h"

#include <windows.h>

#include <string>
#include <vector>

// Voltwren's events in the Windows Application log: a classic source named "Voltwren",
// whose messages VoltwrenEvents.dll carries (packaging/events/VoltwrenEvents.mc). The id is
// the message's number as it stands in the .mc; the type gives the level.
struct EventKind
{
    DWORD id;
    WORD type;      // EVENTLOG_ERROR_TYPE, EVENTLOG_WARNING_TYPE or EVENTLOG_INFORMATION_TYPE
    size_t inserts; // as many as the message names (%1, %2, ...)
};

namespace VoltwrenEvent
{
constexpr EventKind kStarted{1000, EVENTLOG_INFORMATION_TYPE, 3};
constexpr EventKind kEnded{1001, EVENTLOG_INFORMATION_TYPE, 1};
// The last insert of the warnings that come at most once an hour: how often it happened since.
constexpr EventKind kCommandResent{2000, EVENTLOG_WARNING_TYPE, 3};
constexpr EventKind kReadingsBack{2001, EVENTLOG_INFORMATION_TYPE, 1};
constexpr EventKind kConsoleRenewed{2002, EVENTLOG_WARNING_TYPE, 2};
constexpr EventKind kNoChip{2003, EVENTLOG_WARNING_TYPE, 2};
constexpr EventKind kGaveUp{3000, EVENTLOG_ERROR_TYPE, 2};
constexpr EventKind kToolUnusable{3001, EVENTLOG_ERROR_TYPE, 2};
constexpr EventKind kLogFolderDistrusted{4000, EVENTLOG_WARNING_TYPE, 2};
constexpr EventKind kLogNotBound{4001, EVENTLOG_WARNING_TYPE, 1};
constexpr EventKind kToastsOff{5000, EVENTLOG_WARNING_TYPE, 1};
constexpr EventKind kToastRefused{5001, EVENTLOG_WARNING_TYPE, 2};
constexpr EventKind kRestartNotRegistered{6000, EVENTLOG_WARNING_TYPE, 1};
constexpr EventKind kSetupRefusedFolder{7000, EVENTLOG_ERROR_TYPE, 2};
constexpr EventKind kSetupTookFolder{7001, EVENTLOG_WARNING_TYPE, 2};

constexpr EventKind kCatalogue[] = {
    kStarted,   kEnded,        kCommandResent,        kReadingsBack,        kConsoleRenewed,
    kNoChip,    kGaveUp,       kToolUnusable,         kLogFolderDistrusted, kLogNotBound,
    kToastsOff, kToastRefused, kRestartNotRegistered, kSetupRefusedFolder,  kSetupTookFolder,
};
} // namespace VoltwrenEvent

// Inserts are short and on one line, as a log viewer's column shows them.
constexpr size_t kMaxInsertChars = 249;

// Line breaks and other control characters become blanks; longer text is cut.
std::wstring EventInsert(std::wstring text);
// "0x80070005".
std::wstring HresultInsert(HRESULT hr);

// The source, registered once and deregistered by Close (safe twice) or the destructor.
// Every authenticated user may write to the Application log, so this needs no rights. A
// source that no setup registered still writes; Event Viewer then shows the inserts without
// the message text.
class EventLogSource
{
public:
    // False when the system gave no handle; reports then write nothing.
    bool Open();
    // Reports with the process's user, so that a fleet sees whose session it was.
    bool Report(const EventKind& kind, const std::vector<std::wstring>& inserts);
    void Close() { m_source.Reset(); }
    bool IsOpen() const { return m_source.IsValid(); }

private:
    UniqueEventSource m_source;
    std::vector<BYTE> m_user; // TOKEN_USER, empty when it could not be read
};

// One event through a source opened and closed for it: for the setup actions.
bool ReportOneEvent(const EventKind& kind, const std::vector<std::wstring>& inserts);
