// Runs the built ITERHPGen.exe the way cmd.exe does for the program: in its own folder, one
// command per process, and checks the files it leaves.

#include "sim/charger-tool/Timestamp.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

using chargersim::ParseTimestamp;
using chargersim::Ticks;

namespace
{
constexpr DWORD kRunTimeoutMs = 30000;
constexpr DWORD kPollMs = 20;
constexpr const char* kRead = "0x4E 1 W 1 1 D8";
// 2024-05-01T12:00:00.000Z
constexpr Ticks kMay2024 = 133590384000000000LL;

std::string ToUtf8(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr,
                        nullptr);
    return utf8;
}

std::wstring FromUtf8(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

Ticks Now()
{
    FILETIME now = {};
    GetSystemTimePreciseAsFileTime(&now);
    return static_cast<Ticks>((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

std::wstring ExeFolder()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// The whole file, or nothing when it cannot be opened for shared reading (as the program opens it).
std::optional<std::string> ReadBytes(const std::wstring& path)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::string bytes;
    char chunk[4096];
    DWORD read = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &read, nullptr) && read > 0)
        bytes.append(chunk, read);
    CloseHandle(file);
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << "cannot create " << ToUtf8(path) << ", error " << GetLastError();
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    CloseHandle(file);
}

void SetLastWriteTime(const std::wstring& path, Ticks instant)
{
    const HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    FILETIME time = {static_cast<DWORD>(instant), static_cast<DWORD>(static_cast<ULONGLONG>(instant) >> 32)};
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> FolderNames(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found = {};
    const HANDLE search = FindFirstFileW((folder + L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
    {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

void DeleteTree(const std::wstring& folder)
{
    for (const std::wstring& name : FolderNames(folder))
    {
        const std::wstring path = folder + name;
        if (GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY)
            DeleteTree(path + L"\\");
        else
            DeleteFileW(path.c_str());
    }
    RemoveDirectoryW(folder.c_str());
}

struct JournalEntry
{
    std::string received;
    std::string arguments;
    std::string outcome;
    std::string since;
};

// A started process with its standard output and error in one pipe.
struct Started
{
    HANDLE process = nullptr;
    HANDLE output = nullptr;
};

struct RunResult
{
    DWORD exitCode = 0xDEADBEEF;
    std::string output; // standard output and error together
    JournalEntry entry; // the journal line this run added
};
} // namespace

class ToolProcessTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        static int s_count = 0;
        wchar_t temp[MAX_PATH] = {};
        ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
        root = std::wstring(temp) + L"vwn-charger-tool-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(++s_count) + L"\\";
        DeleteTree(root);
        tool = root + L"ITE inboxI2C Flash\\";
        // A blank and a non-ASCII letter: "OutputPath.ini" is UTF-8.
        out = root + L"out \u00E4\\";
        ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(tool.c_str(), nullptr));
        ASSERT_TRUE(CreateDirectoryW(out.c_str(), nullptr));
        ASSERT_TRUE(
            CopyFileW((ExeFolder() + L"ITERHPGen.exe").c_str(), (tool + L"ITERHPGen.exe").c_str(), FALSE))
            << "ITERHPGen.exe must lie beside the test, error " << GetLastError();
        WriteBytes(tool + L"OutputPath.ini", ToUtf8(out));
    }

    void TearDown() override { DeleteTree(root); }

    void WriteScenario(const std::string& text) { WriteBytes(tool + L"sim-scenario.txt", text); }
    std::wstring ValuePath() const { return out + L"ManualRead.bin"; }
    std::optional<std::string> Value() const { return ReadBytes(ValuePath()); }
    std::string ToolPathUtf8(const wchar_t* name) const { return ToUtf8(tool + name); }

    Started Start(const std::wstring& application, const std::wstring& commandLine)
    {
        Started started;
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        HANDLE write = nullptr;
        if (!CreatePipe(&started.output, &write, &inherit, 0))
        {
            ADD_FAILURE() << "CreatePipe failed, error " << GetLastError();
            return started;
        }
        SetHandleInformation(started.output, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = write;
        startup.hStdError = write;
        PROCESS_INFORMATION info = {};
        std::wstring line = commandLine;
        if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                            nullptr, tool.c_str(), &startup, &info))
        {
            ADD_FAILURE() << "CreateProcessW failed, error " << GetLastError();
            CloseHandle(write);
            return started;
        }
        CloseHandle(write);
        CloseHandle(info.hThread);
        started.process = info.hProcess;
        return started;
    }

    // Waits for the process, collects its output and exit code, and checks that it added exactly
    // one journal line, received while it ran.
    RunResult Finish(const Started& started, size_t journalBefore, Ticks before)
    {
        RunResult result;
        if (started.process == nullptr)
            return result;
        if (WaitForSingleObject(started.process, kRunTimeoutMs) != WAIT_OBJECT_0)
        {
            ADD_FAILURE() << "the tool did not end within " << kRunTimeoutMs << " ms";
            TerminateProcess(started.process, 1);
            WaitForSingleObject(started.process, kRunTimeoutMs);
        }
        GetExitCodeProcess(started.process, &result.exitCode);
        CloseHandle(started.process);
        char chunk[1024];
        DWORD read = 0;
        while (ReadFile(started.output, chunk, sizeof(chunk), &read, nullptr) && read > 0)
            result.output.append(chunk, read);
        CloseHandle(started.output);

        const Ticks after = Now();
        const std::vector<JournalEntry> entries = Journal();
        EXPECT_EQ(journalBefore + 1, entries.size()) << "one journal line per command";
        if (entries.size() > journalBefore)
        {
            result.entry = entries.back();
            Ticks received = 0;
            EXPECT_TRUE(ParseTimestamp(result.entry.received, received)) << result.entry.received;
            // The journal keeps whole milliseconds.
            EXPECT_GE(received, before - before % chargersim::kTicksPerMillisecond) << result.entry.received;
            EXPECT_LE(received, after) << result.entry.received;
        }
        return result;
    }

    // One command as the program gives it: value file deleted first, tool started in its folder.
    RunResult Run(const std::string& arguments)
    {
        DeleteFileW(ValuePath().c_str());
        const size_t before = Journal().size();
        const Ticks start = Now();
        const std::wstring command =
            L"ITERHPGen.exe" + (arguments.empty() ? L"" : L" " + FromUtf8(arguments));
        return Finish(Start(tool + L"ITERHPGen.exe", command), before, start);
    }

    std::vector<JournalEntry> Journal() const
    {
        std::vector<JournalEntry> entries;
        const std::optional<std::string> text = ReadBytes(tool + L"sim-journal.txt");
        if (!text)
            return entries;
        size_t pos = 0;
        while (pos < text->size())
        {
            const size_t end = text->find('\n', pos);
            if (end == std::string::npos)
            {
                ADD_FAILURE() << "journal line without a line feed: " << text->substr(pos);
                break;
            }
            const std::string line = text->substr(pos, end - pos);
            pos = end + 1;
            std::vector<std::string> fields;
            size_t start = 0;
            for (size_t tab = line.find('\t'); tab != std::string::npos; tab = line.find('\t', start))
            {
                fields.push_back(line.substr(start, tab - start));
                start = tab + 1;
            }
            fields.push_back(line.substr(start));
            if (fields.size() != 4)
            {
                ADD_FAILURE() << "journal line without 4 fields: " << line;
                continue;
            }
            entries.push_back(JournalEntry{fields[0], fields[1], fields[2], fields[3]});
        }
        return entries;
    }

    // Waits until `ready` holds; false when the tool ended first or the wait took too long.
    template <typename Condition> bool WaitWhileRunning(HANDLE process, Condition ready)
    {
        for (DWORD waited = 0; waited < kRunTimeoutMs; waited += kPollMs)
        {
            if (ready())
                return true;
            if (WaitForSingleObject(process, kPollMs) == WAIT_OBJECT_0)
                return ready();
        }
        return false;
    }

    std::wstring root;
    std::wstring tool;
    std::wstring out;
};

TEST_F(ToolProcessTest, Read_FollowsTheCommandSteps)
{
    WriteScenario("status 0 for 2 commands\nstatus 2 for 2 commands\nstatus 1\n");
    std::vector<RunResult> runs;
    std::vector<std::string> values;
    for (int i = 0; i < 5; ++i)
    {
        runs.push_back(Run(kRead));
        values.push_back(Value().value_or("missing"));
    }
    EXPECT_EQ((std::vector<std::string>{std::string(1, '\0'), std::string(1, '\0'), "\x02", "\x02", "\x01"}),
              values);
    const char* const outcomes[] = {"answered 0", "answered 0", "answered 2", "answered 2", "answered 1"};
    const int changedAt[] = {0, 0, 2, 2, 4};
    for (int i = 0; i < 5; ++i)
    {
        SCOPED_TRACE(i);
        EXPECT_EQ(0u, runs[i].exitCode);
        EXPECT_EQ("", runs[i].output);
        EXPECT_EQ(kRead, runs[i].entry.arguments);
        EXPECT_EQ(outcomes[i], runs[i].entry.outcome);
        EXPECT_EQ(runs[changedAt[i]].entry.received, runs[i].entry.since);
    }
    // The value file was moved into place: no temporary file stays behind.
    EXPECT_EQ(std::vector<std::wstring>{L"ManualRead.bin"}, FolderNames(out));
}

TEST_F(ToolProcessTest, Read_OtherAddressesAndArgumentsWriteNothing)
{
    WriteScenario("address 0x40\n");
    struct Case
    {
        const char* arguments;
        const char* outcome;
    };
    const Case cases[] = {
        {"0x4E 1 W 1 1 D8", "silent address"},
        {"0x040 1 W 1 1 D8", "silent address"},
        {"0x40 1 W 1 1 D9", "silent arguments"},
        {"0x40 1 W 1 1", "silent arguments"},
        {"0x40 1 w 1 1 D8", "silent arguments"},
        {"0x40 1 W 1 1 D8 x", "silent arguments"},
        {"", "silent arguments"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.arguments);
        const RunResult result = Run(c.arguments);
        EXPECT_EQ(0u, result.exitCode);
        EXPECT_EQ(c.arguments, result.entry.arguments);
        EXPECT_EQ(c.outcome, result.entry.outcome);
        EXPECT_EQ("-", result.entry.since);
        EXPECT_FALSE(Exists(ValuePath()));
    }
    const RunResult answered = Run("0x40 1 W 1 1 D8");
    EXPECT_EQ("answered 0", answered.entry.outcome);
    EXPECT_EQ(std::string(1, '\0'), Value().value_or("missing"));

    const std::optional<std::string> state = ReadBytes(tool + L"sim-state.txt");
    ASSERT_TRUE(state.has_value());
    EXPECT_NE(std::string::npos, state->find("\ncommands=8\nreads=1\n")) << *state;
}

TEST_F(ToolProcessTest, Read_WithoutScenarioAnswersZeroAt0x4EOnly)
{
    EXPECT_EQ("silent address", Run("0x40 1 W 1 1 D8").entry.outcome);
    EXPECT_FALSE(Exists(ValuePath()));
    EXPECT_EQ("answered 0", Run(kRead).entry.outcome);
    EXPECT_EQ(std::string(1, '\0'), Value().value_or("missing"));
}

TEST_F(ToolProcessTest, Read_SilentStepWritesNothing)
{
    WriteScenario("none for 1 command\nstatus 2\n");
    const RunResult silent = Run(kRead);
    EXPECT_EQ(0u, silent.exitCode);
    EXPECT_EQ("silent step", silent.entry.outcome);
    EXPECT_EQ(silent.entry.received, silent.entry.since);
    EXPECT_FALSE(Exists(ValuePath()));
    EXPECT_EQ("answered 2", Run(kRead).entry.outcome);
    EXPECT_EQ("\x02", Value().value_or("missing"));
}

TEST_F(ToolProcessTest, Scenario_BadFileIsRefusedWithItsLine)
{
    WriteScenario("status 2 for 3 commands\r\nstatus 300\r\n");
    const RunResult result = Run(kRead);
    EXPECT_EQ(2u, result.exitCode);
    EXPECT_EQ("ITERHPGen simulator: " + ToolPathUtf8(L"sim-scenario.txt") +
                  ":2: \"300\" is not a status byte from 0 to 255\r\n",
              result.output);
    EXPECT_EQ("failed scenario", result.entry.outcome);
    EXPECT_EQ("-", result.entry.since);
    EXPECT_FALSE(Exists(ValuePath()));
    EXPECT_FALSE(Exists(tool + L"sim-state.txt"));
}

TEST_F(ToolProcessTest, State_BadFileIsRefusedWithItsLine)
{
    WriteBytes(tool + L"sim-state.txt", "commands=1\nreads=x\n");
    const RunResult result = Run(kRead);
    EXPECT_EQ(3u, result.exitCode);
    EXPECT_EQ("ITERHPGen simulator: " + ToolPathUtf8(L"sim-state.txt") +
                  ":2: reads needs a whole number (delete the file to start afresh)\r\n",
              result.output);
    EXPECT_EQ("failed state", result.entry.outcome);
    EXPECT_FALSE(Exists(ValuePath()));
    EXPECT_EQ("commands=1\nreads=x\n", ReadBytes(tool + L"sim-state.txt").value_or("missing"));
}

TEST_F(ToolProcessTest, State_DeletingItStartsTheScenarioAfresh)
{
    WriteScenario("status 0 for 1 command\nstatus 2\n");
    EXPECT_EQ("answered 0", Run(kRead).entry.outcome);
    EXPECT_EQ("answered 2", Run(kRead).entry.outcome);
    ASSERT_TRUE(DeleteFileW((tool + L"sim-state.txt").c_str()));
    EXPECT_EQ("answered 0", Run(kRead).entry.outcome);
    EXPECT_EQ(3u, Journal().size());
}

TEST_F(ToolProcessTest, OutputPath_MissingIsReported)
{
    ASSERT_TRUE(DeleteFileW((tool + L"OutputPath.ini").c_str()));
    const RunResult result = Run(kRead);
    EXPECT_EQ(4u, result.exitCode);
    const std::string expected =
        "ITERHPGen simulator: cannot read " + ToolPathUtf8(L"OutputPath.ini") + " (error 2";
    EXPECT_EQ(expected, result.output.substr(0, expected.size()));
    EXPECT_EQ("failed output-path", result.entry.outcome);
    EXPECT_TRUE(FolderNames(out).empty());
}

TEST_F(ToolProcessTest, Read_HeldFileRefusesReadSharingUntilReleased)
{
    WriteScenario("status 2 hold 5 s\n");
    DeleteFileW(ValuePath().c_str());
    const Ticks start = Now();
    const Started started = Start(tool + L"ITERHPGen.exe", L"ITERHPGen.exe 0x4E 1 W 1 1 D8");
    ASSERT_NE(nullptr, started.process);
    // The journal line is written once the file is there and held.
    const bool journaled = WaitWhileRunning(started.process, [&] { return Journal().size() == 1; });
    EXPECT_TRUE(journaled);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(started.process, 0))
        << "hold ended too soon";
    SetLastError(0xDEADBEEF);
    const HANDLE file = CreateFileW(ValuePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    EXPECT_EQ(INVALID_HANDLE_VALUE, file);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), error);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    // A reader that allows writers too is still refused: the tool shares no reading at all.
    SetLastError(0xDEADBEEF);
    const HANDLE lenient =
        CreateFileW(ValuePath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD lenientError = GetLastError();
    EXPECT_EQ(INVALID_HANDLE_VALUE, lenient);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), lenientError);
    if (lenient != INVALID_HANDLE_VALUE)
        CloseHandle(lenient);

    const RunResult result = Finish(started, 0, start);
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_EQ("answered 2", result.entry.outcome);
    EXPECT_EQ("\x02", Value().value_or("missing"));
}

TEST_F(ToolProcessTest, Read_DelayKeepsTheFileBackWhileTheToolRuns)
{
    WriteScenario("status 1 delay 3 s\n");
    DeleteFileW(ValuePath().c_str());
    const Ticks start = Now();
    const Started started = Start(tool + L"ITERHPGen.exe", L"ITERHPGen.exe 0x4E 1 W 1 1 D8");
    ASSERT_NE(nullptr, started.process);
    // The read is counted before the delay begins.
    const bool counted = WaitWhileRunning(started.process,
                                          [&]
                                          {
                                              const std::optional<std::string> state =
                                                  ReadBytes(tool + L"sim-state.txt");
                                              return state && state->find("\nreads=1\n") != std::string::npos;
                                          });
    EXPECT_TRUE(counted);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(started.process, 0))
        << "delay ended too soon";
    EXPECT_FALSE(Exists(ValuePath()));

    const RunResult result = Finish(started, 0, start);
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_EQ("answered 1", result.entry.outcome);
    EXPECT_EQ("\x01", Value().value_or("missing"));
}

TEST_F(ToolProcessTest, TimeSteps_CountFromTheStartInTheStateFile)
{
    const std::string steps = "status 1 for 100000000 s\nstatus 2 for 1000000000 s\nstatus 0\n";
    struct Case
    {
        const char* speed;
        const char* start;
        const char* outcome;
        const char* since;
    };
    const Case cases[] = {
        {"", "2020-01-01T00:00:00.000Z", "answered 2", "2023-03-03T09:46:40.000Z"},
        {"speed 2\n", "2020-01-01T00:00:00.000Z", "answered 2", "2021-08-01T16:53:20.000Z"},
        {"", "2999-01-01T00:00:00.000Z", "answered 1", "2999-01-01T00:00:00.000Z"},
        {"", "1700-01-01T00:00:00.000Z", "answered 0", "1734-11-10T11:33:20.000Z"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.start);
        WriteScenario(std::string(c.speed) + steps);
        WriteBytes(tool + L"sim-state.txt", std::string("start=") + c.start + "\n");
        const RunResult result = Run(kRead);
        EXPECT_EQ(0u, result.exitCode);
        EXPECT_EQ(c.outcome, result.entry.outcome);
        EXPECT_EQ(c.since, result.entry.since);
        const std::string state = ReadBytes(tool + L"sim-state.txt").value_or("missing");
        EXPECT_NE(std::string::npos,
                  state.find(std::string("\nstart=") + c.start + "\ncommands=1\nreads=1\n"))
            << state;
    }
}

TEST_F(ToolProcessTest, Override_WinsOverTheScenarioUntilRemoved)
{
    WriteScenario("status 1\n");
    const std::wstring overridePath = tool + L"sim-override.txt";
    WriteBytes(overridePath, "2\n");
    SetLastWriteTime(overridePath, kMay2024);
    RunResult result = Run(kRead);
    EXPECT_EQ("answered 2", result.entry.outcome);
    EXPECT_EQ("2024-05-01T12:00:00.000Z", result.entry.since);
    EXPECT_EQ("\x02", Value().value_or("missing"));

    WriteBytes(overridePath, "none");
    SetLastWriteTime(overridePath, kMay2024 + chargersim::kTicksPerSecond);
    result = Run(kRead);
    EXPECT_EQ("silent step", result.entry.outcome);
    EXPECT_EQ("2024-05-01T12:00:01.000Z", result.entry.since);
    EXPECT_FALSE(Exists(ValuePath()));

    ASSERT_TRUE(DeleteFileW(overridePath.c_str()));
    result = Run(kRead);
    EXPECT_EQ("answered 1", result.entry.outcome);
    EXPECT_EQ(result.entry.received, result.entry.since);
}

TEST_F(ToolProcessTest, Override_BadFileIsRefused)
{
    WriteBytes(tool + L"sim-override.txt", "fast\n");
    const RunResult result = Run(kRead);
    EXPECT_EQ(3u, result.exitCode);
    EXPECT_EQ("ITERHPGen simulator: " + ToolPathUtf8(L"sim-override.txt") +
                  ":1: expected a status byte from 0 to 255 or \"none\"\r\n",
              result.output);
    EXPECT_EQ("failed state", result.entry.outcome);
    EXPECT_FALSE(Exists(ValuePath()));
}

TEST_F(ToolProcessTest, Journal_RecordsTheCommandAsCmdPassesIt)
{
    WriteScenario("status 2\n");
    wchar_t system[MAX_PATH] = {};
    ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
    const Ticks start = Now();
    const RunResult result = Finish(
        Start(std::wstring(system) + L"\\cmd.exe", L"cmd.exe /d /c ITERHPGen.exe 0x4E 1 W 1 1 D8"), 0, start);
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_EQ(kRead, result.entry.arguments);
    EXPECT_EQ("answered 2", result.entry.outcome);
    EXPECT_EQ("\x02", Value().value_or("missing"));
}
