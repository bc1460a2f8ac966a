// The program reading the simulated charger: the console, the commands it
// types, the probing, the polling and its log lines.
#include "ProcessLookup.h"
#include "base/UniqueHandle.h"
#include "support/ProgramUnderTest.h"
#include "support/Wait.h"

#include <winternl.h>

#include <algorithm>

#include <gtest/gtest.h>

namespace
{
const std::string k4E = "0x4E 1 W 1 1 D8";
const std::string k40 = "0x40 1 W 1 1 D8";
const std::wstring kDetected = L"[ChipAccessHelper][ChipAccessHelper::DetectSlaveAddress] _addr(0x";
const std::wstring kThread = L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] ";

// The cmd.exe that the program started, found by its parent process.
DWORD ConsoleProcessOf(DWORD programId)
{
    return ChildProcessOf(programId, L"cmd.exe");
}

// The Windows command line of another process of this word size, from its
// process parameters (Wine has no ProcessCommandLineInformation).
std::wstring CommandLineOf(DWORD processId)
{
    const UniqueHandle owned(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    const HANDLE process = owned.Get();
    if (!owned)
    {
        return L"(not opened)";
    }
    PROCESS_BASIC_INFORMATION basic = {};
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    std::wstring text;
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof(basic), nullptr) == 0 &&
        ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof(peb), nullptr) &&
        ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof(parameters), nullptr))
    {
        text.resize(parameters.CommandLine.Length / sizeof(wchar_t));
        ReadProcessMemory(process, parameters.CommandLine.Buffer, &text[0], parameters.CommandLine.Length,
                          nullptr);
    }
    return text;
}

// The folder for the program on the Z: drive (the Linux root under Wine), beside the build tree.
std::wstring OtherDriveFolder()
{
    const std::wstring bin = BinFolder();
    return bin.substr(0, 2) == L"Z:" ? bin : std::wstring();
}
} // namespace

class DetectionTest : public ::testing::Test
{
protected:
    // Plays the scenario and starts the program; its window once the chip's address is known.
    HWND StartAndDetect(ProgramUnderTest& program, const std::string& scenario, const std::wstring& arguments)
    {
        program.StageTool(scenario);
        EXPECT_TRUE(program.Start(arguments));
        HWND window = program.WaitForWindow();
        // The thread's own first line comes once the probes have ended.
        EXPECT_NE(std::wstring::npos, WaitForPrefix(program, kThread + L"_retryCount("));
        return window;
    }

    struct Running
    {
        HWND window = nullptr;
        DWORD console = 0;
    };

    // The program on a charger that answers 0, with its window and its cmd.exe.
    Running StartWithConsole(ProgramUnderTest& program, const std::wstring& arguments)
    {
        SCOPED_TRACE(ToUtf8(arguments));
        Running running;
        running.window = StartAndDetect(program, "status 0\n", arguments);
        running.console = running.window ? ConsoleProcessOf(program.ProcessId()) : 0;
        EXPECT_NE(0u, running.console) << "no console";
        return running;
    }

    size_t WaitForPrefix(ProgramUnderTest& program, const std::wstring& prefix)
    {
        size_t at = std::wstring::npos;
        WaitFor([&] { return (at = FindLinePrefix(program.Texts(), prefix)) != std::wstring::npos; });
        return at;
    }
};

TEST_F(DetectionTest, ChipAt4E_OneProbeAndTheExactCommandBytes)
{
    ProgramUnderTest program;
    HWND window = StartAndDetect(program, "status 0\n", L"-showconsole");
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(1u, CountLine(program.Texts(), kDetected + L"4E) detected."));
    ASSERT_TRUE(program.WaitForLogText(kThread + L"_retryCount(50)"));
    const auto commands = program.ToolCommands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(k4E, commands.front());
    const auto texts = program.Texts();
    // A tool slowed by a busy machine may miss the start wait: never more than the three tries an address
    // gets.
    EXPECT_LE(CountLine(texts, L"[ChipAccessHelper][ChipAccessHelper::DoReadPresenceStatus] _addr(0x4E)"),
              3u);
    // The bytes typed into the console, as the detailed log shows them.
    const std::wstring written = L"[ChipAccessHelper][ChipAccessHelper::WriteToConsole] outputString -> ";
    // Once, when the first detection thread starts the console.
    EXPECT_EQ(1u, CountLine(texts, written + L"cd /d \"%VWN_TOOL_DIR%\"\n"));
    EXPECT_LE(1u, CountLine(texts, written + L"ITERHPGen.exe 0x4E 1 W 1 1 D8\n"));
    // A status of 0 is an answer all the same, and no toast.
    EXPECT_EQ(std::wstring::npos, FindLinePrefix(texts, kThread + L"Change of charging type"));
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}

TEST_F(DetectionTest, ChipAt40Only_ThreeCommandsFor4EFirst)
{
    ProgramUnderTest program;
    HWND window = StartAndDetect(program, "address 0x40\nstatus 1\n", L"");
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(1u, CountLine(program.Texts(), kDetected + L"40) detected."));
    const auto commands = program.ToolCommands();
    // Three tries at 0x4E were typed, the first right after the "cd" into a starting console: none is lost.
    EXPECT_EQ(3, std::count(commands.begin(), commands.end(), k4E));
    const auto first40 = std::find(commands.begin(), commands.end(), k40) - commands.begin();
    ASSERT_LT(first40, static_cast<std::ptrdiff_t>(commands.size()));
    EXPECT_EQ(3, first40);
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}

TEST_F(DetectionTest, NoChip_SixCommandsThenNoAddress)
{
    ProgramUnderTest program;
    HWND window = StartAndDetect(program, "none\n", L"");
    ASSERT_NE(nullptr, window);
    const auto texts = program.Texts();
    EXPECT_EQ(1u, CountLine(texts, kDetected + L"FFFFFFFF) detected."));
    EXPECT_EQ(
        6u,
        CountLine(texts,
                  L"[ChipAccessHelper][ChipAccessHelper::SendCommand2SlaveAddress] Sending command - done."));
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}

TEST_F(DetectionTest, ToolNeverAnswers_GivesUpAfterRetriesWithExitCode0)
{
    ProgramUnderTest program;
    program.StageTool("address 0x4E\nstatus 0 for 1 command\nnone\n");
    ASSERT_TRUE(program.Start(L"-retrycount 2"));
    DWORD exitCode = 0xDEADBEEF;
    ASSERT_TRUE(program.WaitForExit(60000, exitCode));
    EXPECT_EQ(0u, exitCode);
    const auto texts = program.Texts();
    const size_t giveUp =
        FindLine(texts, kThread + L"@@@@@ Unable to read the value from the tool !!! @@@@@");
    ASSERT_NE(std::wstring::npos, giveUp);
    // The main thread's lines may come between these; their own order is fixed.
    const size_t posting = FindLine(texts, kThread + L"Posting WM_QUIT to the main window ...", giveUp);
    EXPECT_NE(std::wstring::npos, posting);
    EXPECT_NE(std::wstring::npos,
              FindLine(texts, kThread + L"Posting WM_QUIT to the main window - done.\n", posting));
    // After the probe, detection typed one command and read three times without another.
    const size_t threadIn = FindLine(texts, kThread + L"_retryCount(2)");
    size_t commandsAfter = 0;
    for (size_t i = threadIn; i < texts.size(); ++i)
    {
        commandsAfter +=
            texts[i] ==
                    L"[ChipAccessHelper][ChipAccessHelper::SendCommand2SlaveAddress] Sending command - done."
                ? 1
                : 0;
    }
    EXPECT_EQ(1u, commandsAfter);
    EXPECT_EQ(
        3u,
        CountLine(
            texts,
            L"[ChipAccessHelper][ChipAccessHelper::ReadQcPdPresenceStatusFromFile] @@@@@ Unable to open the target file !!! @@@@@") -
            CountLine(
                std::vector<std::wstring>(texts.begin(), texts.begin() + threadIn),
                L"[ChipAccessHelper][ChipAccessHelper::ReadQcPdPresenceStatusFromFile] @@@@@ Unable to open the target file !!! @@@@@"));
}

// cmd.exe would expand "%OS%" in a typed line, and the line carries only low bytes.
TEST_F(DetectionTest, ProgramOnAnotherDriveInAFolderWithCmdCharacters_FindsTheTool)
{
    const std::wstring parent = OtherDriveFolder();
    ASSERT_FALSE(parent.empty());
    ProgramUnderTest program(L"recording", L"Tessaly & Co (x86) p%OS%q ^! \x00C9t\x00E9 \x5145\x96FB",
                             parent);
    program.StageTool("status 0\n");
    // Started from C:, the program lives on Z:.
    ASSERT_TRUE(program.Start(L"", L"C:\\windows"));
    HWND window = program.WaitForWindow();
    ASSERT_NE(nullptr, window);
    ASSERT_NE(std::wstring::npos, WaitForPrefix(program, kThread + L"_retryCount("));
    EXPECT_EQ(1u, CountLine(program.Texts(), kDetected + L"4E) detected."));
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}

TEST_F(DetectionTest, ExitReachesTheConsoleAtShutDown)
{
    ProgramUnderTest program;
    const auto [window, console] = StartWithConsole(program, L"-showconsole");
    ASSERT_NE(0u, console);
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
    const auto texts = program.Texts();
    const size_t at =
        FindLine(texts, L"[ChipAccessHelper][ChipAccessHelper::WriteToConsole] outputString -> exit\n");
    ASSERT_NE(std::wstring::npos, at);
    EXPECT_EQ(L"[ChipAccessHelper][ChipAccessHelper::WriteToConsole] _result -> 1", texts[at + 1]);
    EXPECT_TRUE(ProcessEnds(console, 10000));
}

TEST_F(DetectionTest, ConsoleEndedFromOutside_WritesFailAndNothingCrashes)
{
    ProgramUnderTest program;
    const auto [window, console] = StartWithConsole(program, L"-showconsole");
    ASSERT_NE(0u, console);
    ASSERT_TRUE(Terminate(console));
    ASSERT_TRUE(program.WaitForLogText(L"[ChipAccessHelper][ChipAccessHelper::WriteToConsole] _result -> 0"));
    EXPECT_TRUE(program.IsRunning());
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}

// A read waits for the run of its command: an answer 900 ms late is no failed read.
TEST_F(DetectionTest, LateAnswer_IsReadAtTheEndOfItsRunWithoutAFailedRead)
{
    ProgramUnderTest program;
    HWND window = StartAndDetect(
        program, "status 0 for 1 command\nstatus 2 for 1 command delay 900 ms\nstatus 2\n", L"-showconsole");
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(program.WaitForLogText(kThread + L"Change of charging type detected (2).\n"));
    const auto texts = program.Texts();
    EXPECT_EQ(std::wstring::npos, FindLinePrefix(texts, kThread + L"_isSuccessful(0)"));
    EXPECT_EQ(1u, CountLine(texts, kThread + L"Change of charging type detected (2).\n"));
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}

// Only the tool's own process is a run: neither what a visible console brings into the job
// (Wine's explorer.exe) nor a process that a run leaves behind holds up a probe or a read.
TEST_F(DetectionTest, OtherProcessesInTheJob_AreNoRuns)
{
    ProgramUnderTest program;
    program.StageTool("status 0\n");
    // The first probe's run leaves ping.exe behind it for about 30 s.
    ASSERT_TRUE(WriteFileBytes(program.ToolFolder() + L"sim-fault.txt", "leave"));
    ASSERT_TRUE(program.Start(L"-showconsole -retrycount 2"));
    HWND window = program.WaitForWindow();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(program.WaitForLogText(kDetected + L"4E) detected."));
    ASSERT_NE(0u, ChildProcessOf(kAnyParent, L"ping.exe", kWaitMs)) << "nothing was left behind";
    ASSERT_TRUE(
        program.WaitForLogText(kThread + L"_isSuccessful(1), _value(0), _retryIndex(0)\n", kWaitMs, 3));
    const auto texts = program.Texts();
    EXPECT_EQ(std::wstring::npos, FindLinePrefix(texts, kThread + L"_isSuccessful(0)"));
    EXPECT_EQ(std::wstring::npos,
              FindLinePrefix(texts, L"[ChipAccessHelper][ChipAccessHelper::DetectSlaveAddress] @@@@@"));
    EXPECT_EQ(std::wstring::npos,
              FindLinePrefix(texts, L"[ChipAccessHelper][ChipAccessHelper::RenewConsole]"));
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
    // Closing the console's job ends what was left in it.
    EXPECT_TRUE(ProcessEnds(ChildProcessOf(kAnyParent, L"ping.exe"), 5000));
}

// Only cmd.exe holds the read end of its input: when the program dies without
// typing "exit", cmd.exe sees the end of its input and ends too.
TEST_F(DetectionTest, ProgramKilled_ConsoleEnds)
{
    ProgramUnderTest program;
    const auto [window, console] = StartWithConsole(program, L"");
    ASSERT_NE(0u, console);
    ASSERT_TRUE(Terminate(program.ProcessId()));
    EXPECT_TRUE(ProcessEnds(console, 5000));
}

// Another object holds the stop event's name: nothing outside opens the event,
// so detection goes on with an unnamed one.
TEST_F(DetectionTest, PollingEventNameTaken_DetectionRunsOnAnUnnamedEvent)
{
    const UniqueHandle squatter(CreateMutexW(nullptr, FALSE, L"vwn_polling"));
    ASSERT_TRUE(squatter);
    ProgramUnderTest program;
    HWND window = StartAndDetect(program, "status 2\n", L"");
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(program.WaitForLogText(kThread + L"Change of charging type detected (2).\n"));
    EXPECT_TRUE(program.WaitForLogText(
        L"[ChipAccessHelper][ChipAccessHelper::ChipAccessHelper] Going on with an unnamed event.", 0));
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}

// A tool that hangs keeps cmd.exe from reading "exit": however the program
// ends, its console and the tool end with it.
TEST_F(DetectionTest, ToolHangs_NothingOutlivesTheProgram)
{
    for (const std::string ending : {"itself", "File, Exit", "killed"})
    {
        SCOPED_TRACE(ending);
        ProgramUnderTest program;
        program.StageTool("status 0 delay 600 s\n");
        ASSERT_TRUE(program.Start(L"-retrycount 1"));
        HWND window = program.WaitForWindow();
        ASSERT_NE(nullptr, window);
        const DWORD console = ChildProcessOf(program.ProcessId(), L"cmd.exe", kWaitMs);
        const DWORD tool = ChildProcessOf(console, L"ITERHPGen.exe", kWaitMs);
        ASSERT_NE(0u, tool);
        if (ending == "File, Exit")
        {
            SendExitCommand(window);
        }
        ASSERT_TRUE(ending != "killed" || Terminate(program.ProcessId()));
        DWORD exitCode = 0xDEADBEEF;
        ASSERT_TRUE(program.WaitForExit(kWaitMs, exitCode));
        EXPECT_EQ(ending == "killed" ? 9u : 0u, exitCode);
        EXPECT_TRUE(WaitFor([&] { return ProcessEnds(tool, 0) && ProcessEnds(console, 0); }, 5000));
    }
}

// The console has a window only in detailed mode; the tool runs in both.
TEST_F(DetectionTest, ConsoleWindow_OnlyWithShowConsole)
{
    for (const bool detailed : {false, true})
    {
        SCOPED_TRACE(detailed ? "-showconsole" : "hidden");
        ProgramUnderTest program;
        const auto [window, console] = StartWithConsole(program, detailed ? L"-showconsole" : L"");
        EXPECT_EQ(1u, CountLine(program.Texts(), kDetected + L"4E) detected."));
        ASSERT_NE(0u, console);
        // Only what is typed runs: no AutoRun, the same extensions on every machine.
        EXPECT_EQ(L"\"C:\\windows\\system32\\cmd.exe\" /D /E:ON /V:OFF", CommandLineOf(console));
        FreeConsole();
        ASSERT_TRUE(AttachConsole(console));
        EXPECT_EQ(detailed, GetConsoleWindow() != nullptr);
        FreeConsole();
        EXPECT_EQ(0u, program.ExitThroughMenu(window));
    }
}
