#include "LogTestSupport.h"

#include "logbackend/core/FileLock.h"
#include "base/UniqueHandle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

namespace
{
constexpr int kProcesses = 2;
constexpr int kThreads = 4;
constexpr int kLinesPerThread = 2500; // 20,000 lines in all
constexpr unsigned long long kMaxFileSize = 64 * 1024;
constexpr int kMaxBackups = 60; // room for every line: nothing may be dropped
constexpr DWORD kWriterTimeoutMs = 90000;
const char* const kFiller = "abcdefghijklmnopqrstuvwxyz0123456789";

std::string RollingProperties()
{
    char text[1024];
    snprintf(text, sizeof(text),
             "log4j.rootLogger=DEBUG, R\n"
             "log4j.appender.R=RollingFileAppender\n"
             "log4j.appender.R.File=shared.log\n"
             "log4j.appender.R.MaxFileSize=%llu\n"
             "log4j.appender.R.MaxBackupIndex=%d\n"
             "log4j.appender.R.layout=PatternLayout\n"
             "log4j.appender.R.layout.ConversionPattern=%%m%%n\n",
             kMaxFileSize, kMaxBackups);
    return text;
}

// Writer processes (logbackend_writer) whose threads wait for one start event.
class Writers
{
public:
    Writers(const std::wstring& properties, int processes, int threads, int lines, int pauseMs)
        : m_start(CreateEventW(nullptr, TRUE, FALSE, m_eventName.c_str()))
    {
        for (int p = 0; p < processes; ++p)
        {
            std::wstring command = L"\"" + BinFolder() + L"logbackend_writer.exe\" \"" + properties + L"\" " +
                                   std::to_wstring(p) + L" " + std::to_wstring(threads) + L" " +
                                   std::to_wstring(lines) + L" " + m_eventName + L" " +
                                   std::to_wstring(pauseMs);
            STARTUPINFOW startup = {};
            startup.cb = sizeof(startup);
            PROCESS_INFORMATION info = {};
            if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                &info))
            {
                ADD_FAILURE() << "CreateProcessW failed with " << GetLastError();
                continue;
            }
            CloseHandle(info.hThread);
            m_processes.push_back(info.hProcess);
        }
        SetEvent(m_start.Get());
    }

    ~Writers()
    {
        for (HANDLE process : m_processes)
        {
            TerminateProcess(process, 99); // only one that has not ended
            WaitForSingleObject(process, INFINITE);
            CloseHandle(process);
        }
    }

    // True while any writer runs, after waiting up to ms for all to end.
    bool Running(DWORD ms) const
    {
        return WaitForMultipleObjects(static_cast<DWORD>(m_processes.size()), m_processes.data(), TRUE, ms) ==
               WAIT_TIMEOUT;
    }

    DWORD FirstId() const { return m_processes.empty() ? 0 : GetProcessId(m_processes[0]); }

    void ExpectAllEndedWell() const
    {
        ASSERT_FALSE(Running(kWriterTimeoutMs)) << "writers still running";
        for (HANDLE process : m_processes)
        {
            DWORD code = 0;
            GetExitCodeProcess(process, &code);
            EXPECT_EQ(0u, code);
        }
    }

private:
    const std::wstring m_eventName = L"vwn-logtest-start-" + std::to_wstring(GetCurrentProcessId());
    const UniqueHandle m_start;
    std::vector<HANDLE> m_processes;
};

// Reads shared.log and its backups, oldest first, and expects each writer
// thread's lines once, whole and in order. Returns the size of each file.
std::vector<size_t> ExpectEveryLineOnce(const TempFolder& folder)
{
    std::vector<std::wstring> files;
    for (int i = kMaxBackups; i >= 1; --i)
    {
        const std::wstring backup = folder / (L"shared.log." + std::to_wstring(i));
        if (logtest::Exists(backup))
        {
            files.push_back(backup);
        }
    }
    files.push_back(folder / L"shared.log");
    std::map<std::pair<int, int>, int> nextLine;
    std::vector<size_t> sizes;
    for (const std::wstring& file : files)
    {
        const std::string bytes = ReadFileBytes(file);
        sizes.push_back(bytes.size());
        for (size_t start = 0, end = 0; start < bytes.size(); start = end + 2)
        {
            end = bytes.find("\r\n", start);
            EXPECT_NE(std::string::npos, end) << "unterminated line in " << ToUtf8(file);
            const std::string line = bytes.substr(start, end - start);
            int process = -1, thread = -1, number = -1;
            char expected[128];
            sscanf(line.c_str(), "P%d T%d L%d", &process, &thread, &number);
            snprintf(expected, sizeof(expected), "P%d T%d L%05d %s", process, thread, number, kFiller);
            EXPECT_EQ(std::string(expected), line) << "line broken or mixed";
            // Each thread's lines appear once, in the order it wrote them.
            int& next = nextLine[{process, thread}];
            EXPECT_EQ(next, number) << "out of order or missing before: " << line;
            next = number + 1;
            if (end == std::string::npos || ::testing::Test::HasFailure())
            {
                return sizes;
            }
        }
    }
    // No other writer ids, and every thread's last line is there.
    EXPECT_EQ(static_cast<size_t>(kProcesses * kThreads), nextLine.size());
    for (const auto& writer : nextLine)
    {
        EXPECT_EQ(kLinesPerThread, writer.second) << "P" << writer.first.first << " T" << writer.first.second;
    }
    return sizes;
}

TEST(ConcurrencyTest, TwoProcessesFourThreads_EveryLineOnceWholeAndInOrder)
{
    TempFolder folder(L"vwn-logtest");
    const std::wstring properties = folder / L"writers.properties";
    ASSERT_TRUE(WriteFileBytes(properties, RollingProperties()));
    {
        const Writers writers(properties, kProcesses, kThreads, kLinesPerThread, 0);
        writers.ExpectAllEndedWell();
    }
    const std::vector<size_t> sizes = ExpectEveryLineOnce(folder);
    EXPECT_GE(sizes.size(), 10u) << "the file should have rolled over many times";
    for (size_t size : sizes)
    {
        EXPECT_LE(size, kMaxFileSize);
    }
}

TEST(ConcurrencyTest, LogAndBackupHeldWithoutDeleteSharing_NothingLostAndRollingResumes)
{
    TempFolder folder(L"vwn-logtest");
    const std::wstring properties = folder / L"writers.properties";
    ASSERT_TRUE(WriteFileBytes(properties, RollingProperties()));
    // A viewer holds the log and its newest backup, so the backup cannot make room.
    UniqueFile viewedLog = logtest::OpenAsViewer(folder / L"shared.log");
    UniqueFile viewedBackup = logtest::OpenAsViewer(folder / L"shared.log.1");
    ASSERT_TRUE(viewedLog && viewedBackup);
    {
        // Paced, so that the writers go on long after the viewer lets go.
        const Writers writers(properties, kProcesses, kThreads, kLinesPerThread, 1);
        LARGE_INTEGER size = {};
        while (writers.Running(1) && GetFileSizeEx(viewedLog.Get(), &size) &&
               static_cast<unsigned long long>(size.QuadPart) < 3 * kMaxFileSize)
        {
        }
        viewedLog.Reset();
        viewedBackup.Reset();
        writers.ExpectAllEndedWell();
    }
    const std::vector<size_t> sizes = ExpectEveryLineOnce(folder);
    ASSERT_GE(sizes.size(), 3u);
    // The file grew while held, then rolled on: it is a backup, and the current file is small again.
    const size_t largest = *std::max_element(sizes.begin(), sizes.end() - 1);
    EXPECT_GE(largest, 3 * kMaxFileSize);
    EXPECT_LE(sizes.back(), kMaxFileSize);
}

TEST(ConcurrencyTest, LockHeldThroughTheFileAlone_WriterWaitsThenGivesUpAndSaysSo)
{
    logtest::DebuggerOutput debugger;
    ASSERT_TRUE(debugger.Ready());
    TempFolder folder(L"vwn-logtest");
    const std::wstring properties = folder / L"writer.properties";
    ASSERT_TRUE(WriteFileBytes(properties, RollingProperties()));
    // This process shares no named object with the writer, and spells the file differently.
    const UniqueFile file(CreateFileW((L"\\\\?\\" + (folder / L"shared.log")).c_str(), FILE_READ_DATA,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file);
    DWORD writerId = 0;
    {
        const vwnlog::FileLock lock(file.Get());
        ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), lock.Result());
        const Writers writer(properties, 1, 1, 1, 0);
        writer.ExpectAllEndedWell();
        writerId = writer.FirstId();
    }
    EXPECT_EQ("P0 T0 L00000 " + std::string(kFiller) + "\r\n", ReadFileBytes(folder / L"shared.log"));
    const std::string warning = "Log4cxxWrapper: WARN appender \"R\" (\"" + ToUtf8(folder / L"shared.log") +
                                "\") cannot lock its file (error 33";
    const std::vector<std::string> lines = debugger.Lines(writerId);
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [&](const std::string& line)
                            { return line.compare(0, warning.size(), warning) == 0; }))
        << "no line starting " << warning << " among " << ::testing::PrintToString(lines);
}
} // namespace
