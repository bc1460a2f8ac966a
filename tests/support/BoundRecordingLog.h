#pragma once

#include "install/VersionNumber.h"
#include "logging/ApacheLogger.h"
#include "support/RecordedLog.h"
#include "support/ScopedState.h"
#include "support/TestFolders.h"

// Binds the recording log library into this test process once, and gives each
// test a fresh record file (the library reads VWN_RECORDING_LOG on every call).
class BoundRecordingLog
{
public:
    BoundRecordingLog() : m_folder(L"log"), m_record(L"VWN_RECORDING_LOG", RecordPath())
    {
        static bool bound = false;
        if (!bound)
        {
            ApacheLogger::Bind(BinFolder() + L"recording\\", [] { return getVersionNumber(false); });
            // The version lookup logs its failure once per process: keep that out of the tests' records.
            getVersionNumber(false);
            DeleteFileW(RecordPath().c_str());
            bound = true;
        }
    }
    std::wstring RecordPath() const { return m_folder.Path() + L"records.txt"; }
    std::vector<LogRecord> Records() const { return ReadRecordedLog(RecordPath()); }
    std::vector<std::wstring> Texts() const { return LogTexts(Records()); }

private:
    TempFolder m_folder;
    ScopedEnvironment m_record;
};
