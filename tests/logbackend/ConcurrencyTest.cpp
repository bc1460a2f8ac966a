#include "LogTestSupport.h"

#include <gtest/gtest.h>

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

// Starts one writer process; its threads wait for the start event.
HANDLE StartWriter(int process, const std::wstring& properties, const std::wstring& startEvent)
{
    std::wstring command = L"\"" + BinFolder() + L"logbackend_writer.exe\" \"" + properties + L"\" " +
                           std::to_wstring(process) + L" " + std::to_wstring(kThreads) + L" " +
                           std::to_wstring(kLinesPerThread) + L" " + startEvent;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    {
        ADD_FAILURE() << "CreateProcessW failed with " << GetLastError();
        return nullptr;
    }
    CloseHandle(info.hThread);
    return info.hProcess;
}

TEST(ConcurrencyTest, TwoProcessesFourThreads_EveryLineOnceWholeAndInOrder)
{
    TempFolder m_folder(L"vwn-logtest");
    const std::wstring properties = m_folder / L"writers.properties";
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
    ASSERT_TRUE(WriteFileBytes(properties, text));

    const std::wstring startEvent = L"vwn-logtest-start-" + std::to_wstring(GetCurrentProcessId());
    HANDLE start = CreateEventW(nullptr, TRUE, FALSE, startEvent.c_str());
    ASSERT_NE(nullptr, start);
    HANDLE writers[kProcesses] = {};
    for (int p = 0; p < kProcesses; ++p)
    {
        writers[p] = StartWriter(p, properties, startEvent);
        ASSERT_NE(nullptr, writers[p]);
    }
    SetEvent(start);
    const DWORD waited = WaitForMultipleObjects(kProcesses, writers, TRUE, kWriterTimeoutMs);
    for (HANDLE writer : writers)
    {
        if (waited != WAIT_OBJECT_0)
        {
            TerminateProcess(writer, 99);
            WaitForSingleObject(writer, INFINITE);
        }
        DWORD code = 0;
        GetExitCodeProcess(writer, &code);
        EXPECT_EQ(0u, code);
        CloseHandle(writer);
    }
    CloseHandle(start);
    ASSERT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), waited);

    // Oldest backup first, the current file last: the order the lines were written in.
    std::vector<std::wstring> files;
    for (int i = kMaxBackups; i >= 1; --i)
    {
        const std::wstring backup = m_folder / (L"shared.log." + std::to_wstring(i));
        if (logtest::Exists(backup))
        {
            files.push_back(backup);
        }
    }
    files.push_back(m_folder / L"shared.log");
    EXPECT_GE(files.size(), 10u) << "the file should have rolled over many times";

    std::map<std::pair<int, int>, int> nextLine;
    size_t total = 0;
    for (const std::wstring& file : files)
    {
        const std::string bytes = ReadFileBytes(file);
        EXPECT_LE(bytes.size(), kMaxFileSize) << ToUtf8(file);
        size_t start = 0;
        while (start < bytes.size())
        {
            const size_t end = bytes.find("\r\n", start);
            ASSERT_NE(std::string::npos, end) << "unterminated line in " << ToUtf8(file);
            const std::string line = bytes.substr(start, end - start);
            start = end + 2;
            int process = -1, thread = -1, number = -1;
            char expected[128];
            ASSERT_EQ(3, sscanf(line.c_str(), "P%d T%d L%d", &process, &thread, &number)) << line;
            snprintf(expected, sizeof(expected), "P%d T%d L%05d %s", process, thread, number, kFiller);
            ASSERT_EQ(std::string(expected), line) << "line broken or mixed";
            // Each thread's lines appear once, in the order it wrote them.
            int& next = nextLine[{process, thread}];
            ASSERT_EQ(next, number) << "out of order or missing before: " << line;
            ++next;
            ++total;
        }
    }
    // No other writer ids, and every thread's last line is there.
    EXPECT_EQ(static_cast<size_t>(kProcesses * kThreads * kLinesPerThread), total);
    EXPECT_EQ(static_cast<size_t>(kProcesses * kThreads), nextLine.size());
    for (const auto& writer : nextLine)
    {
        EXPECT_EQ(kLinesPerThread, writer.second) << "P" << writer.first.first << " T" << writer.first.second;
    }
}
} // namespace
