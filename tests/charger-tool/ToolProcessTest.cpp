// Runs the built ITERHPGen.exe the way cmd.exe does for the program: in its own folder, one
// command per process, and checks the files it leaves.

#include "sim/charger-tool/Timestamp.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using chargersim::Ticks;
namespace fs = std::filesystem;

namespace
{
constexpr const char* kRead = "0x4E 1 W 1 1 D8";
constexpr Ticks kMay2024 = 133590384000000000LL; // 2024-05-01T12:00:00.000Z
const std::string kZero(1, '\0');

Ticks Now()
{
    FILETIME now = {};
    GetSystemTimePreciseAsFileTime(&now);
    return static_cast<Ticks>((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

std::optional<std::string> ReadBytes(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(file), {});
}

void WriteBytes(const fs::path& path, const std::string& bytes, std::optional<Ticks> lastWrite = {})
{
    EXPECT_TRUE(std::ofstream(path, std::ios::binary) << bytes) << "cannot write " << path.u8string();
    if (!lastWrite)
        return;
    const HANDLE file =
        CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const FILETIME time = {static_cast<DWORD>(*lastWrite), static_cast<DWORD>(*lastWrite >> 32)};
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
}

std::vector<std::string> FolderNames(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().u8string());
    return names;
}

struct JournalEntry
{
    std::string received, arguments, outcome, since;
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
        root = fs::temp_directory_path() / ("vwn-charger-tool-" + std::to_string(GetCurrentProcessId()) +
                                            "-" + std::to_string(++s_count));
        fs::remove_all(root);
        tool = root / "ITE inboxI2C Flash";
        // A blank and a non-ASCII letter: "OutputPath.ini" is UTF-8.
        out = root / L"out \u00E4";
        ASSERT_TRUE(fs::create_directories(tool) && fs::create_directories(out));
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        ASSERT_TRUE(fs::copy_file(fs::path(self).parent_path() / "ITERHPGen.exe", tool / "ITERHPGen.exe"))
            << "ITERHPGen.exe must lie beside the test";
        WriteBytes(tool / "OutputPath.ini", out.u8string() + "\\");
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    void WriteScenario(const std::string& text) { WriteBytes(tool / "sim-scenario.txt", text); }
    fs::path ValuePath() const { return out / "ManualRead.bin"; }
    std::string Value() const { return ReadBytes(ValuePath()).value_or("missing"); }
    std::string ToolFile(const char* name) const { return ReadBytes(tool / name).value_or("missing"); }

    // One command as the program gives it: value file deleted first, tool started in its folder.
    // `during` runs while the tool does. Checks that the command added exactly one journal line,
    // received while it ran.
    RunResult Run(const std::string& arguments, const std::function<void(HANDLE)>& during = {},
                  bool viaCmd = false)
    {
        RunResult result;
        DeleteFileW(ValuePath().c_str());
        const size_t journalBefore = Journal().size();
        const Ticks before = Now();
        std::wstring line = std::wstring(viaCmd ? L"cmd.exe /d /c " : L"") + L"ITERHPGen.exe" +
                            (arguments.empty() ? L"" : L" ") +
                            std::wstring(arguments.begin(), arguments.end());
        wchar_t system[MAX_PATH] = {};
        GetSystemDirectoryW(system, MAX_PATH);
        const fs::path application = viaCmd ? fs::path(system) / "cmd.exe" : tool / "ITERHPGen.exe";
        SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
        HANDLE read = nullptr;
        HANDLE write = nullptr;
        EXPECT_TRUE(CreatePipe(&read, &write, &inherit, 0));
        SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = write;
        PROCESS_INFORMATION info = {};
        const bool started = CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE,
                                            CREATE_NO_WINDOW, nullptr, tool.c_str(), &startup, &info);
        CloseHandle(write);
        if (!started)
        {
            ADD_FAILURE() << "CreateProcessW failed, error " << GetLastError();
            CloseHandle(read);
            return result;
        }
        CloseHandle(info.hThread);
        if (during)
            during(info.hProcess);
        if (WaitForSingleObject(info.hProcess, kWaitMs) != WAIT_OBJECT_0)
        {
            ADD_FAILURE() << "the tool did not end within " << kWaitMs << " ms";
            TerminateProcess(info.hProcess, 1);
            WaitForSingleObject(info.hProcess, kWaitMs);
        }
        GetExitCodeProcess(info.hProcess, &result.exitCode);
        CloseHandle(info.hProcess);
        char chunk[1024];
        DWORD got = 0;
        while (ReadFile(read, chunk, sizeof(chunk), &got, nullptr) && got > 0)
            result.output.append(chunk, got);
        CloseHandle(read);

        const Ticks after = Now();
        const std::vector<JournalEntry> entries = Journal();
        EXPECT_EQ(journalBefore + 1, entries.size()) << "one journal line per command";
        if (entries.size() > journalBefore)
        {
            result.entry = entries.back();
            Ticks received = 0;
            EXPECT_TRUE(chargersim::ParseTimestamp(result.entry.received, received)) << result.entry.received;
            // The journal keeps whole milliseconds.
            EXPECT_GE(received, before - before % chargersim::kTicksPerMillisecond) << result.entry.received;
            EXPECT_LE(received, after) << result.entry.received;
        }
        return result;
    }

    std::vector<JournalEntry> Journal() const
    {
        std::vector<JournalEntry> entries;
        const std::string text = ReadBytes(tool / "sim-journal.txt").value_or("");
        EXPECT_TRUE(text.empty() || text.back() == '\n') << "journal line without a line feed: " << text;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);)
        {
            EXPECT_EQ(3, std::count(line.begin(), line.end(), '\t'))
                << "journal line without 4 fields: " << line;
            std::istringstream split(line);
            JournalEntry& e = entries.emplace_back();
            std::getline(std::getline(std::getline(split, e.received, '\t'), e.arguments, '\t'), e.outcome,
                         '\t');
            std::getline(split, e.since);
        }
        return entries;
    }

    // Waits until `ready` holds; false when the tool ended first or the wait took too long.
    static bool WaitWhileRunning(HANDLE process, const std::function<bool()>& ready)
    {
        WaitFor([&] { return ready() || WaitForSingleObject(process, 0) == WAIT_OBJECT_0; });
        return ready();
    }

    fs::path root;
    fs::path tool;
    fs::path out;
};

TEST_F(ToolProcessTest, Read_FollowsTheCommandSteps)
{
    WriteScenario("status 0 for 2 commands\nstatus 2 for 2 commands\nstatus 1\n");
    const std::tuple<const char*, std::string, int> expected[] = {{"answered 0", kZero, 0},
                                                                  {"answered 0", kZero, 0},
                                                                  {"answered 2", "\x02", 2},
                                                                  {"answered 2", "\x02", 2},
                                                                  {"answered 1", "\x01", 4}};
    std::vector<RunResult> runs;
    for (const auto& [outcome, value, changedAt] : expected)
    {
        SCOPED_TRACE(runs.size());
        runs.push_back(Run(kRead));
        EXPECT_EQ(value, Value());
        EXPECT_EQ(0u, runs.back().exitCode);
        EXPECT_EQ("", runs.back().output);
        EXPECT_EQ(kRead, runs.back().entry.arguments);
        EXPECT_EQ(outcome, runs.back().entry.outcome);
        // Dated by the first read that got this answer.
        EXPECT_EQ(runs[changedAt].entry.received, runs.back().entry.since);
    }
    // The value file was moved into place: no temporary file stays behind.
    EXPECT_EQ(std::vector<std::string>{"ManualRead.bin"}, FolderNames(out));
}

TEST_F(ToolProcessTest, Read_OtherAddressesAndArgumentsWriteNothing)
{
    // Without a scenario only 0x4E answers, with 0.
    EXPECT_EQ("silent address", Run("0x40 1 W 1 1 D8").entry.outcome);
    EXPECT_TRUE(FolderNames(out).empty());
    EXPECT_EQ("answered 0", Run(kRead).entry.outcome);
    EXPECT_EQ(kZero, Value());

    WriteScenario("address 0x40\n");
    ASSERT_TRUE(fs::remove(tool / "sim-state.txt"));
    const std::pair<const char*, const char*> cases[] = {{"0x4E 1 W 1 1 D8", "silent address"},
                                                         {"0x040 1 W 1 1 D8", "silent address"},
                                                         {"0x40 1 W 1 1 D9", "silent arguments"},
                                                         {"0x40 1 W 1 1", "silent arguments"},
                                                         {"0x40 1 w 1 1 D8", "silent arguments"},
                                                         {"0x40 1 W 1 1 D8 x", "silent arguments"},
                                                         {"", "silent arguments"}};
    for (const auto& [arguments, outcome] : cases)
    {
        SCOPED_TRACE(arguments);
        const RunResult result = Run(arguments);
        EXPECT_EQ(0u, result.exitCode);
        EXPECT_EQ(arguments, result.entry.arguments);
        EXPECT_EQ(outcome, result.entry.outcome);
        EXPECT_EQ("-", result.entry.since);
        EXPECT_TRUE(FolderNames(out).empty());
    }
    EXPECT_EQ("answered 0", Run("0x40 1 W 1 1 D8").entry.outcome);
    EXPECT_EQ(kZero, Value());
    const std::string state = ToolFile("sim-state.txt");
    EXPECT_NE(std::string::npos, state.find("\ncommands=8\nreads=1\n")) << state;
}

TEST_F(ToolProcessTest, Read_SilentStepWritesNothingAndDeletingStateStartsAfresh)
{
    WriteScenario("none for 1 command\nstatus 2\n");
    for (int round = 0; round < 2; ++round)
    {
        SCOPED_TRACE(round);
        const RunResult silent = Run(kRead);
        EXPECT_EQ(0u, silent.exitCode);
        EXPECT_EQ("silent step", silent.entry.outcome);
        EXPECT_EQ(silent.entry.received, silent.entry.since);
        EXPECT_TRUE(FolderNames(out).empty());
        EXPECT_EQ("answered 2", Run(kRead).entry.outcome);
        EXPECT_EQ("\x02", Value());
        ASSERT_TRUE(fs::remove(tool / "sim-state.txt"));
    }
    EXPECT_EQ(4u, Journal().size());
}

TEST_F(ToolProcessTest, BadFilesAreRefusedWithTheirLine)
{
    // file, its content (nullptr: deleted), exit code, message before and after the file's path,
    // outcome, the state file afterwards (nullptr: not checked).
    const std::tuple<const char*, const char*, DWORD, const char*, const char*, const char*, const char*>
        cases[] = {
            {"sim-scenario.txt", "status 2 for 3 commands\r\nstatus 300\r\n", 2, "",
             ":2: \"300\" is not a status byte from 0 to 255\r\n", "failed scenario", "missing"},
            {"sim-state.txt", "commands=1\nreads=x\n", 3, "",
             ":2: reads needs a whole number (delete the file to start afresh)\r\n", "failed state",
             "commands=1\nreads=x\n"},
            {"sim-override.txt", "fast\n", 3, "", ":1: expected a status byte from 0 to 255 or \"none\"\r\n",
             "failed state", nullptr},
            // The message goes on with the system's error text.
            {"OutputPath.ini", nullptr, 4, "cannot read ", " (error 2", "failed output-path", nullptr}};
    for (const auto& [file, content, exitCode, before, after, outcome, state] : cases)
    {
        SCOPED_TRACE(file);
        if (content)
            WriteBytes(tool / file, content);
        else
            ASSERT_TRUE(fs::remove(tool / file));
        const RunResult result = Run(kRead);
        EXPECT_EQ(exitCode, result.exitCode);
        const std::string message =
            std::string("ITERHPGen simulator: ") + before + (tool / file).u8string() + after;
        EXPECT_EQ(message, content ? result.output : result.output.substr(0, message.size()));
        EXPECT_EQ(outcome, result.entry.outcome);
        EXPECT_EQ("-", result.entry.since);
        EXPECT_TRUE(FolderNames(out).empty());
        if (state)
        {
            EXPECT_EQ(state, ToolFile("sim-state.txt"));
        }
        TearDown(); // a fresh folder for the next case
        SetUp();
    }
}

TEST_F(ToolProcessTest, Read_HeldFileRefusesReadSharingUntilReleased)
{
    WriteScenario("status 2 hold 5 s\n");
    const RunResult result =
        Run(kRead,
            [&](HANDLE process)
            {
                // The journal line is written once the file is there and held.
                EXPECT_TRUE(WaitWhileRunning(process, [&] { return Journal().size() == 1; }));
                EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(process, 0))
                    << "hold ended too soon";
                // A reader that allows writers too is still refused: the tool shares no reading at all.
                for (DWORD share :
                     {DWORD{FILE_SHARE_READ}, DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE}})
                {
                    SCOPED_TRACE(share);
                    SetLastError(0xDEADBEEF);
                    const HANDLE file = CreateFileW(ValuePath().c_str(), GENERIC_READ, share, nullptr,
                                                    OPEN_EXISTING, 0, nullptr);
                    const DWORD error = GetLastError();
                    EXPECT_EQ(INVALID_HANDLE_VALUE, file);
                    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), error);
                    if (file != INVALID_HANDLE_VALUE)
                        CloseHandle(file);
                }
            });
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_EQ("answered 2", result.entry.outcome);
    EXPECT_EQ("\x02", Value());
}

TEST_F(ToolProcessTest, Read_DelayKeepsTheFileBackWhileTheToolRuns)
{
    WriteScenario("status 1 delay 3 s\n");
    const RunResult result = Run(
        kRead,
        [&](HANDLE process)
        {
            // The read is counted before the delay begins.
            EXPECT_TRUE(WaitWhileRunning(
                process, [&] { return ToolFile("sim-state.txt").find("\nreads=1\n") != std::string::npos; }));
            EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(process, 0))
                << "delay ended too soon";
            EXPECT_TRUE(FolderNames(out).empty());
        });
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_EQ("answered 1", result.entry.outcome);
    EXPECT_EQ("\x01", Value());
}

TEST_F(ToolProcessTest, TimeSteps_CountFromTheStartInTheStateFile)
{
    const std::string steps = "status 1 for 100000000 s\nstatus 2 for 1000000000 s\nstatus 0\n";
    // speed line, start, outcome, since
    const std::tuple<const char*, std::string, const char*, const char*> cases[] = {
        {"", "2020-01-01T00:00:00.000Z", "answered 2", "2023-03-03T09:46:40.000Z"},
        {"speed 2\n", "2020-01-01T00:00:00.000Z", "answered 2", "2021-08-01T16:53:20.000Z"},
        {"", "2999-01-01T00:00:00.000Z", "answered 1", "2999-01-01T00:00:00.000Z"},
        {"", "1700-01-01T00:00:00.000Z", "answered 0", "1734-11-10T11:33:20.000Z"}};
    for (const auto& [speed, start, outcome, since] : cases)
    {
        SCOPED_TRACE(speed + start);
        WriteScenario(speed + steps);
        WriteBytes(tool / "sim-state.txt", "start=" + start + "\n");
        const RunResult result = Run(kRead);
        EXPECT_EQ(0u, result.exitCode);
        EXPECT_EQ(outcome, result.entry.outcome);
        EXPECT_EQ(since, result.entry.since);
        const std::string state = ToolFile("sim-state.txt");
        EXPECT_NE(std::string::npos, state.find("\nstart=" + start + "\ncommands=1\nreads=1\n")) << state;
    }
}

TEST_F(ToolProcessTest, Override_WinsOverTheScenarioUntilRemoved)
{
    WriteScenario("status 1\n");
    WriteBytes(tool / "sim-override.txt", "2\n", kMay2024);
    RunResult result = Run(kRead);
    EXPECT_EQ("answered 2", result.entry.outcome);
    EXPECT_EQ("2024-05-01T12:00:00.000Z", result.entry.since);
    EXPECT_EQ("\x02", Value());

    WriteBytes(tool / "sim-override.txt", "none", kMay2024 + chargersim::kTicksPerSecond);
    result = Run(kRead);
    EXPECT_EQ("silent step", result.entry.outcome);
    EXPECT_EQ("2024-05-01T12:00:01.000Z", result.entry.since);
    EXPECT_TRUE(FolderNames(out).empty());

    ASSERT_TRUE(fs::remove(tool / "sim-override.txt"));
    result = Run(kRead);
    EXPECT_EQ("answered 1", result.entry.outcome);
    EXPECT_EQ(result.entry.received, result.entry.since);
}

TEST_F(ToolProcessTest, Journal_RecordsTheCommandAsCmdPassesIt)
{
    WriteScenario("status 2\n");
    const RunResult result = Run(kRead, {}, true);
    EXPECT_EQ(0u, result.exitCode);
    EXPECT_EQ(kRead, result.entry.arguments);
    EXPECT_EQ("answered 2", result.entry.outcome);
    EXPECT_EQ("\x02", Value());
}
