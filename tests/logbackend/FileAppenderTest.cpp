#include "logbackend/core/FileAppender.h"
#include "base/UniqueHandle.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <cwchar>

using namespace vwnlog;

namespace
{
// Nine-byte lines ("line 01\r\n"), three to a 30-byte file.
std::string Rolling(int backups = 3)
{
    return "log4j.rootLogger=DEBUG, R\n"
           "log4j.appender.R=RollingFileAppender\n"
           "log4j.appender.R.File=$FOLDER\\r.log\n"
           "log4j.appender.R.MaxFileSize=30\n"
           "log4j.appender.R.layout=PatternLayout\n"
           "log4j.appender.R.layout.ConversionPattern=%m%n\n"
           "log4j.appender.R.MaxBackupIndex=" +
           std::to_string(backups) + "\n";
}

class FileAppenderTest : public logtest::RepositoryTest
{
protected:
    void Lines(Repository& repository, int first, int last)
    {
        for (int i = first; i <= last; ++i)
        {
            wchar_t text[16];
            swprintf(text, 16, L"line %02d", i);
            repository.Log(repository.GetLogger(L"x"), Level::Info, text);
        }
    }
};

TEST_F(FileAppenderTest, Rolling_SecondWriterFollowsTheFileTheFirstOneMade)
{
    Apply(Rolling());
    // A second repository stands for a second process: its own handle, the shared path lock.
    Repository other;
    const std::wstring properties = m_folder / L"test.properties";
    ASSERT_TRUE(ConfigureFromFile(other, properties));

    Lines(m_repository, 1, 3);
    Lines(other, 4, 4);        // finds the file full and rolls it
    Lines(m_repository, 5, 5); // must go to the emptied r.log, not to r.log.1
    EXPECT_EQ(logtest::NumberedLines(1, 3), File(L"r.log.1"));
    EXPECT_EQ(logtest::NumberedLines(4, 5), File(L"r.log"));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(FileAppenderTest, Rolling_BlockedRollKeepsEveryLineAndRetries)
{
    Apply(Rolling());
    ASSERT_TRUE(WriteFileBytes(m_folder / L"r.log.1", "old\r\n"));
    Lines(m_repository, 1, 3);
    // A viewer that opened the log and its backup without delete sharing: the
    // log is still copied and emptied, but the backup cannot move to make room.
    UniqueFile viewedLog = logtest::OpenAsViewer(m_folder / L"r.log", OPEN_EXISTING);
    UniqueFile viewedBackup = logtest::OpenAsViewer(m_folder / L"r.log.1", OPEN_EXISTING);
    ASSERT_TRUE(viewedLog && viewedBackup);
    Lines(m_repository, 4, 6);
    viewedLog.Reset();
    viewedBackup.Reset();
    EXPECT_EQ(logtest::NumberedLines(1, 6), File(L"r.log"));
    EXPECT_EQ("old\r\n", File(L"r.log.1"));
    std::vector<std::wstring> reports = Reports();
    ASSERT_EQ(1u, reports.size());
    EXPECT_EQ(0u,
              reports[0].find(L"Log4cxxWrapper: ERROR appender \"R\" (\"" + (m_folder / L"r.log") +
                              L"\") cannot roll over (rename \"" + (m_folder / L"r.log.1") + L"\": error 32"))
        << ::ToUtf8(reports[0]);

    Sleep(static_cast<DWORD>(FileAppender::kRetryRollMs + 100));
    Lines(m_repository, 7, 7);
    EXPECT_EQ("old\r\n", File(L"r.log.2"));
    EXPECT_EQ(logtest::NumberedLines(1, 6), File(L"r.log.1"));
    EXPECT_EQ(logtest::NumberedLines(7, 7), File(L"r.log"));
    reports = Reports();
    ASSERT_EQ(2u, reports.size());
    EXPECT_EQ(L"Log4cxxWrapper: WARN appender \"R\" (\"" + (m_folder / L"r.log") + L"\") rolled over at last",
              reports[1]);
}

TEST_F(FileAppenderTest, Rolling_MappedViewForbidsEmptying_NoLineTwiceAndRollingResumes)
{
    Apply(Rolling());
    ASSERT_TRUE(WriteFileBytes(m_folder / L"r.log.1", "old\r\n"));
    Lines(m_repository, 1, 3);
    // A viewer's mapped view: the log can be copied but not shortened (error 1224).
    UniqueFile viewer(CreateFileW((m_folder / L"r.log").c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    UniqueHandle mapping(CreateFileMappingW(viewer.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    const void* view = mapping ? MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0) : nullptr;
    ASSERT_NE(nullptr, view);
    Lines(m_repository, 4, 6);
    Sleep(static_cast<DWORD>(FileAppender::kRetryRollMs + 100));
    Lines(m_repository, 7, 9); // tries again, and fails again
    UnmapViewOfFile(view);
    mapping.Reset();
    viewer.Reset();
    Sleep(static_cast<DWORD>(FileAppender::kRetryRollMs + 100));
    Lines(m_repository, 10, 10);

    EXPECT_EQ(logtest::NumberedLines(10, 10), File(L"r.log"));
    EXPECT_EQ(logtest::NumberedLines(1, 9), File(L"r.log.1"));
    EXPECT_EQ("old\r\n", File(L"r.log.2"));
    EXPECT_FALSE(logtest::Exists(m_folder / L"r.log.3"));
    const std::vector<std::wstring> reports = Reports();
    ASSERT_EQ(2u, reports.size());
    EXPECT_EQ(0u, reports[0].find(L"Log4cxxWrapper: ERROR appender \"R\" (\"" + (m_folder / L"r.log") +
                                  L"\") cannot roll over (empty the file: error 1224"))
        << ::ToUtf8(reports[0]);
}

TEST_F(FileAppenderTest, Rolling_RefusedForLackOfRights_SaidOnceAndNotTriedEverySecond)
{
    Apply(Rolling(1));
    // Another account's backup that this one may not delete (error 5).
    const std::wstring backup = m_folder / L"r.log.1";
    ASSERT_TRUE(WriteFileBytes(backup, "old\r\n"));
    ASSERT_TRUE(SetFileAttributesW(backup.c_str(), FILE_ATTRIBUTE_READONLY));
    Lines(m_repository, 1, 4);
    ASSERT_TRUE(SetFileAttributesW(backup.c_str(), FILE_ATTRIBUTE_NORMAL));
    Sleep(static_cast<DWORD>(FileAppender::kRetryRollMs + 100));
    Lines(m_repository, 5, 6);

    EXPECT_EQ(logtest::NumberedLines(1, 6), File(L"r.log"));
    EXPECT_EQ("old\r\n", File(L"r.log.1"));
    const std::vector<std::wstring> reports = Reports();
    ASSERT_EQ(1u, reports.size());
    const std::wstring& report = reports[0];
    EXPECT_EQ(0u, report.find(L"Log4cxxWrapper: ERROR appender \"R\" (\"" + (m_folder / L"r.log") +
                              L"\") may not roll over (delete \"" + backup + L"\": error 5"))
        << ::ToUtf8(report);
    EXPECT_NE(std::wstring::npos,
              report.find(L"): the log folder's rights must let every user replace its "
                          L"files; writing on to the current file and trying again every 60 s"))
        << ::ToUtf8(report);
}

TEST_F(FileAppenderTest, Rolling_GapLeftByFailedShiftIsFilledWithoutLoss)
{
    Apply(Rolling());
    // r.log.2 exists, r.log.1 does not: only r.log goes to r.log.1, nothing is pushed out.
    ASSERT_TRUE(WriteFileBytes(m_folder / L"r.log.2", "two\r\n"));
    ASSERT_TRUE(WriteFileBytes(m_folder / L"r.log.3", "three\r\n"));
    Lines(m_repository, 1, 4);
    EXPECT_EQ(logtest::NumberedLines(4, 4), File(L"r.log"));
    EXPECT_EQ(logtest::NumberedLines(1, 3), File(L"r.log.1"));
    EXPECT_EQ("two\r\n", File(L"r.log.2"));
    EXPECT_EQ("three\r\n", File(L"r.log.3"));
}

TEST_F(FileAppenderTest, ShortNamesInFile_WriteAndRollTheLongNamedFile)
{
    // A final path always has the long names: an 8.3 name must be taken as the file it names.
    const std::wstring file = m_folder / L"long folder name\\long file name.log";
    ASSERT_TRUE(CreateDirectoryW((m_folder / L"long folder name").c_str(), nullptr));
    ASSERT_TRUE(WriteFileBytes(file, "old\r\n"));
    wchar_t shortFile[MAX_PATH] = {};
    ASSERT_NE(0u, GetShortPathNameW(file.c_str(), shortFile, MAX_PATH));
    ASSERT_EQ(std::wstring::npos, std::wstring(shortFile).find(L"long")) << ::ToUtf8(shortFile);

    Apply(Rolling() + "log4j.appender.R.File=" + ::ToUtf8(shortFile) + "\n");
    Lines(m_repository, 1, 3);
    EXPECT_EQ("old\r\n" + logtest::NumberedLines(1, 2), File(L"long folder name\\long file name.log.1"));
    EXPECT_EQ(logtest::NumberedLines(3, 3), File(L"long folder name\\long file name.log"));
    EXPECT_TRUE(Reports().empty()) << ::ToUtf8(Reports().empty() ? L"" : Reports()[0]);
}

TEST_F(FileAppenderTest, Daily_FileOfEarlierDayRollsAtFirstLine)
{
    ASSERT_TRUE(WriteFileBytes(m_folder / L"d.log", "yesterday's line\r\n"));
    // Two days back, at local noon, so the test is the same in every time zone.
    SYSTEMTIME local = {};
    GetLocalTime(&local);
    FILETIME earlierLocal = {};
    SystemTimeToFileTime(&local, &earlierLocal);
    ULARGE_INTEGER ticks = {{earlierLocal.dwLowDateTime, earlierLocal.dwHighDateTime}};
    ticks.QuadPart -= 2ULL * 86400 * 10000000;
    earlierLocal = {ticks.LowPart, ticks.HighPart};
    SYSTEMTIME earlier = {};
    FileTimeToSystemTime(&earlierLocal, &earlier);
    earlier.wHour = 12;
    earlier.wMinute = earlier.wSecond = earlier.wMilliseconds = 0;
    SystemTimeToFileTime(&earlier, &earlierLocal);
    FILETIME earlierUtc = {};
    LocalFileTimeToFileTime(&earlierLocal, &earlierUtc);
    HANDLE file = CreateFileW((m_folder / L"d.log").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &earlierUtc));
    CloseHandle(file);

    Apply("log4j.rootLogger=DEBUG, D\n"
          "log4j.appender.D=DailyRollingFileAppender\n"
          "log4j.appender.D.File=$FOLDER\\d.log\n"
          "log4j.appender.D.layout=PatternLayout\n"
          "log4j.appender.D.layout.ConversionPattern=%m%n\n");
    Log(L"x", Level::Info, L"today's line");

    wchar_t suffix[32];
    swprintf(suffix, 32, L".%04u-%02u-%02u", earlier.wYear, earlier.wMonth, earlier.wDay);
    EXPECT_EQ("yesterday's line\r\n", File(L"d.log" + std::wstring(suffix)));
    EXPECT_EQ("today's line\r\n", File(L"d.log"));
}

TEST_F(FileAppenderTest, MovedAwayFile_IsMadeAgainAndWrittenTo)
{
    Apply("log4j.rootLogger=DEBUG, F\n" + logtest::SimpleFile("F", "$FOLDER\\sub\\f.log"));
    Log(L"x", Level::Info, L"one");
    // Someone takes the log away while it is open (Wine keeps a deleted
    // open file under its name, so moving it away is what a test can do).
    ASSERT_TRUE(MoveFileExW((m_folder / L"sub").c_str(), (m_folder / L"aside").c_str(), 0));
    Sleep(static_cast<DWORD>(FileAppender::kIdentityCheckMs + 100));
    Log(L"x", Level::Info, L"two");
    EXPECT_EQ("INFO - one\r\n", File(L"aside\\f.log"));
    EXPECT_EQ("INFO - two\r\n", File(L"sub\\f.log"));
    EXPECT_TRUE(Reports().empty());
}

TEST_F(FileAppenderTest, Rolling_KeepsNewestBackupsAndIndexZeroEmptiesTheFile)
{
    Apply(Rolling());
    Lines(m_repository, 1, 13);
    EXPECT_EQ(logtest::NumberedLines(13, 13), File(L"r.log"));
    EXPECT_EQ(logtest::NumberedLines(10, 12), File(L"r.log.1"));
    EXPECT_EQ(logtest::NumberedLines(7, 9), File(L"r.log.2"));
    EXPECT_EQ(logtest::NumberedLines(4, 6), File(L"r.log.3"));
    EXPECT_FALSE(logtest::Exists(m_folder / L"r.log.4"));

    Apply(Rolling(0) + "log4j.appender.R.File=$FOLDER\\zero.log\n");
    Lines(m_repository, 1, 5);
    EXPECT_EQ(logtest::NumberedLines(4, 5), File(L"zero.log"));
    EXPECT_FALSE(logtest::Exists(m_folder / L"zero.log.1"));
}

TEST_F(FileAppenderTest, OversizedLine_GoesWholeIntoAFreshFile)
{
    Apply(Rolling());
    Lines(m_repository, 1, 1);
    const std::wstring longLine(40, L'x');
    Log(L"x", Level::Info, longLine.c_str());
    Lines(m_repository, 2, 2);
    EXPECT_EQ(logtest::NumberedLines(1, 1), File(L"r.log.2"));
    EXPECT_EQ(std::string(40, 'x') + "\r\n", File(L"r.log.1"));
    EXPECT_EQ(logtest::NumberedLines(2, 2), File(L"r.log"));
}
} // namespace
