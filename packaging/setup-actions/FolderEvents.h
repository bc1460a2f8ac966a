#pragma once

#include "packaging/setup-actions/LogFolderRights.h"

#include <string>

// What a fleet's Event Log learns of one setup run's folders: at most one error for a
// refused folder (7000) and one warning for folders made by someone else that were taken
// or replaced (7001), each reported when the run's folders are settled.
class FolderEvents
{
public:
    void Note(const std::wstring& path, const FolderOutcome& outcome);
    void Report() const;

private:
    std::wstring m_refused;
    std::wstring m_refusedLine;
    std::wstring m_takenFirst;
    std::wstring m_takenLines;
};
