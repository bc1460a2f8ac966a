#include "logfolder/DebuggerLines.h"
#include "base/UniqueHandle.h"
#include "install/VersionNumber.h"
#include "logging/ApacheLogger.h"
#include "logging/LogFolderReset.h"
#include "support/RecordedLog.h"
#include "support/ScopedState.h"
#include "support/TestFolders.h"

#include <gtest/gtest.h>

// The machine-wide log folder of this prefix: these tests run one at a time.
class FixedLogFolderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RemoveTree(kLogFolderPath);
        CreateDirectoryW(L"C:\\ProgramData\\Tessaly", nullptr);
        ASSERT_TRUE(CreateDirectoryW(kLogFolderPath, nullptr));
        ASSERT_TRUE(CreateDirectoryW((Path() + L"\\old").c_str(), nullptr));
        ASSERT_TRUE(WriteFileBytes(Path() + L"\\vwn.log", "planted\r\n"));
        ASSERT_TRUE(WriteFileBytes(Path() + L"\\old\\vwn.1.log", "planted too\r\n"));
    }
    void TearDown() override
    {
        RemoveTree(kLogFolderPath);
        // Only when the tests made it: an installed product's folder is never empty.
        RemoveDirectoryW(L"C:\\ProgramData\\Tessaly");
    }

    static std::wstring Path() { return kLogFolderPath; }

    DebuggerLines m_debugger;
};

TEST_F(FixedLogFolderTest, ResetLogFolder_DeletesAUserOwnedFolderAtTheFixedPath)
{
    ResetLogFolder();

    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(kLogFolderPath));
    const std::vector<std::wstring> expected = {L"[ApacheLogger][Init] remove_all() ...",
                                                L"[ApacheLogger][Init] remove_all() ... Done."};
    EXPECT_EQ(expected, m_debugger.Lines());
}

// A folder that could not be made trustworthy receives no log.
TEST_F(FixedLogFolderTest, ApacheLoggerInit_ReportsAFailedResetAndLeavesTheLibraryUnbound)
{
    UniqueFile held(CreateFileW((Path() + L"\\vwn.log").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    TempFolder records(L"initlog");
    const std::wstring recordPath = records.Path() + L"records.txt";
    const ScopedEnvironment record(L"VWN_RECORDING_LOG", recordPath);

    ApacheLogger::Init(BinFolder() + L"recording\\", [] { return getVersionNumber(false); });
    held.Reset();

    const std::vector<std::wstring> lines = m_debugger.Lines();
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(L"[ApacheLogger][Init] remove_all() ...", lines[0]);
    const std::wstring head = L"[ApacheLogger][Init] @@@@@ filesystem error: remove_all: ";
    const std::wstring tail = L" [C:\\ProgramData\\Tessaly\\Voltwren]: no log library for this run !!! @@@@@";
    EXPECT_EQ(head, lines[1].substr(0, head.size())) << ToUtf8(lines[1]);
    ASSERT_GT(lines[1].size(), tail.size());
    EXPECT_EQ(tail, lines[1].substr(lines[1].size() - tail.size())) << ToUtf8(lines[1]);

    ApacheLogger::WriteW(ApacheLogger::GetLogger(L"vwn"), L"nowhere after a failed reset");
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(recordPath.c_str()));
}
