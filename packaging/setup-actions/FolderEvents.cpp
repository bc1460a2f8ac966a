#include "packaging/setup-actions/FolderEvents.h"

#include "base/EventLog.h"

void FolderEvents::Note(const std::wstring& path, const FolderOutcome& outcome)
{
    if (outcome.result == FolderResult::Refused && m_refused.empty())
    {
        m_refused = path;
        m_refusedLine = FolderLine(path, outcome);
    }
    else if (outcome.result == FolderResult::Taken || outcome.result == FolderResult::Replaced)
    {
        // Both folders in one event: an administrator filters on the id, not on the folder.
        m_takenFirst = m_takenFirst.empty() ? path : m_takenFirst;
        m_takenLines += (m_takenLines.empty() ? L"" : L"; ") + FolderLine(path, outcome);
    }
}

void FolderEvents::Report() const
{
    if (!m_takenFirst.empty())
    {
        ReportOneEvent(VoltwrenEvent::kSetupTookFolder, {m_takenFirst, m_takenLines});
    }
    if (!m_refused.empty())
    {
        ReportOneEvent(VoltwrenEvent::kSetupRefusedFolder, {m_refused, m_refusedLine});
    }
}
