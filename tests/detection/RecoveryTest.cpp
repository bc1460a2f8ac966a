// Faults of the tool and its console met by one long run of the program: each
// must end in the toast of the next charger change, never in giving up.
#include "ProcessLookup.h"
#include "support/ProgramUnderTest.h"
#include "support/ToastJournal.h"
#include "support/Wait.h"

#include <cstdio>
#include <functional>

#include <gtest/gtest.h>

namespace
{
const std::wstring kThread = L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] ";
const std::wstring kGiveUp = kThread + L"@@@@@ Unable to read the value from the tool !!! @@@@@";
const std::wstring kResend = kThread + L"No value after ";
const std::wstring kHungRun =
    L"[ChipAccessHelper][ChipAccessHelper::RenewConsole] @@@@@ ITERHPGen.exe (process ";
const std::wstring kYoungRun = L"[ChipAccessHelper][ChipAccessHelper::RenewConsole] ITERHPGen.exe (process ";
const std::wstring kFailedRead =
    L"[ChipAccessHelper][ChipAccessHelper::ReadQcPdPresenceStatusFromFile] @@@@@ Unable to open the target file !!! @@@@@";
const std::wstring kCommandSent =
    L"[ChipAccessHelper][ChipAccessHelper::SendCommand2SlaveAddress] Sending command - done.";
const std::wstring kDetected = L"[ChipAccessHelper][ChipAccessHelper::DetectSlaveAddress] _addr(0x";
const std::wstring kFreshConsole =
    L"[ChipAccessHelper][ChipAccessHelper::RenewConsole] Starting a fresh console ...";

// The charger the simulator reports from now on, switched in one rename.
void PlugIn(const ProgramUnderTest& program, int status)
{
    const std::wstring path = program.ToolFolder() + L"sim-override.txt";
    ASSERT_TRUE(WriteFileBytes(path + L".new", std::to_string(status)));
    ASSERT_TRUE(MoveFileExW((path + L".new").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
}

// The next read of the simulator plays `fault`; waits until it has.
void PlayFault(const ProgramUnderTest& program, const std::string& fault)
{
    ASSERT_TRUE(WriteFileBytes(program.ToolFolder() + L"sim-fault.txt", fault));
    EXPECT_TRUE(WaitFor(
        [&]
        {
            return ReadFileBytes(program.ToolFolder() + L"sim-journal.txt").find("\tfault " + fault + "\t") !=
                   std::string::npos;
        }))
        << "the fault was never played";
}

std::vector<std::wstring> From(const std::vector<std::wstring>& texts, const std::wstring& line)
{
    const size_t at = FindLine(texts, line);
    return at == std::wstring::npos ? std::vector<std::wstring>()
                                    : std::vector<std::wstring>(texts.begin() + at, texts.end());
}
} // namespace

TEST(RecoveryTest, EachFault_EndsInTheNextChargersToast_AndExitLeavesNothing)
{
    ToastPlatformFiles platform;
    ProgramUnderTest program;
    program.StageTool("status 0\n");
    ASSERT_TRUE(program.Start(L""));
    HWND window = program.WaitForWindow();
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(program.WaitForLogText(kThread + L"in."));
    const std::wstring tool = program.ToolFolder() + L"ITERHPGen.exe";
    std::vector<DWORD> seen;
    const std::vector<std::pair<std::string, std::function<void()>>> faults = {
        {"no value once", [&] { PlayFault(program, "silent"); }},
        {"crash once", [&] { PlayFault(program, "crash"); }},
        {"hang once",
         [&]
         {
             PlayFault(program, "hang");
             seen.push_back(ChildProcessOf(program.ProcessId(), L"cmd.exe"));
             seen.push_back(ChildProcessOf(seen.back(), L"ITERHPGen.exe"));
         }},
        {"cmd.exe ended", [&] { EXPECT_TRUE(Terminate(ChildProcessOf(program.ProcessId(), L"cmd.exe"))); }},
        {"tool absent for 5 s",
         [&]
         {
             ASSERT_TRUE(MoveFileW(tool.c_str(), (tool + L".old").c_str()));
             Sleep(5000);
             ASSERT_TRUE(MoveFileW((tool + L".old").c_str(), tool.c_str()));
         }},
    };
    for (size_t i = 0; i < faults.size(); ++i)
    {
        SCOPED_TRACE(faults[i].first);
        const ULONGLONG faultAt = GetTickCount64();
        faults[i].second();
        // Quick Charge and USB PD by turns, so that every change shows a toast.
        const int status = i % 2 == 0 ? 1 : 2;
        const ULONGLONG changeAt = GetTickCount64();
        PlugIn(program, status);
        // A hung run is awaited 15 s by its read; the resend after 4 more reads ends it.
        const auto toasts =
            WaitForToasts(platform.Journal(), i + 1, faults[i].first == "hang once" ? 45000 : kWaitMs);
        ASSERT_EQ(i + 1, toasts.size());
        EXPECT_NE(std::string::npos, toasts[i].xml.find(status == 1 ? "Quick Charge" : "USB PD"));
        const ULONGLONG toastAt = GetTickCount64();
        std::printf("%-20s toast %5.1f s after the fault, %5.1f s after the charger change\n",
                    faults[i].first.c_str(), (toastAt - faultAt) / 1000.0, (toastAt - changeAt) / 1000.0);
    }
    const auto texts = program.Texts();
    ASSERT_EQ(2u, seen.size());
    ASSERT_NE(0u, seen[1]) << "the hung run was not found";
    // Named in the log, and ended with its console before the program ends.
    EXPECT_NE(std::wstring::npos, FindLinePrefix(texts, kHungRun + std::to_wstring(seen[1]) + L","));
    EXPECT_TRUE(ProcessEnds(seen[1], 0));
    EXPECT_EQ(std::wstring::npos, FindLine(texts, kGiveUp));
    seen.push_back(ChildProcessOf(program.ProcessId(), L"cmd.exe"));
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
    for (const DWORD process : seen)
    {
        EXPECT_TRUE(ProcessEnds(process, 5000)) << process;
    }
}

// The command goes out again after every 5th failed read, and the program still ends itself
// after retry count + 1 failed reads: of a tool whose runs end without a value, and of one
// whose every run hangs, each run awaited 15 s by its read and ended by the next resend.
TEST(RecoveryTest, ToolNeverAnswersAgain_ResendsAndGivesUpAtTheSameBound)
{
    struct Tool
    {
        const char* scenario;
        size_t hungRunsEnded;
    };
    for (const Tool& tool : {Tool{"status 0 for 1 command\nnone\n", 0},
                             Tool{"status 0 for 1 command\nstatus 0 delay 600 s\n", 2}})
    {
        SCOPED_TRACE(tool.scenario);
        ProgramUnderTest program;
        program.StageTool(tool.scenario);
        EXPECT_EQ(0u, program.RunToExit(L"-retrycount 11", 120000));
        const auto polling = From(program.Texts(), kThread + L"_retryCount(11)");
        EXPECT_EQ(12u, CountLine(polling, kFailedRead));
        EXPECT_EQ(3u, CountLine(polling, kCommandSent));
        EXPECT_EQ(1u, CountLine(polling, kResend + L"5 reads: sending the command again ..."));
        EXPECT_EQ(1u, CountLine(polling, kResend + L"10 reads: sending the command again ..."));
        size_t hungRunsEnded = 0;
        for (const std::wstring& line : polling)
        {
            hungRunsEnded += line.rfind(kHungRun, 0) == 0 ? 1 : 0;
        }
        EXPECT_EQ(tool.hungRunsEnded, hungRunsEnded);
        EXPECT_EQ(std::wstring::npos, FindLinePrefix(polling, kYoungRun));
        EXPECT_EQ(1u, CountLine(polling, kGiveUp));
        EXPECT_TRUE(ProcessEnds(ChildProcessOf(program.ProcessId(), L"cmd.exe"), 5000));
    }
}

// Every probe and read waits for its own run: a tool that answers 1.5 s or 4 s late is read
// on every poll, with no failed read and so no resend, even with a retry count of 3.
TEST(RecoveryTest, ToolAnswersLateOnEveryRun_ReadOnEveryPollWithoutAFailedRead)
{
    struct Tool
    {
        const char* late;
        const char* scenario;
        const wchar_t* address;
    };
    for (const Tool& tool : {Tool{"1.5 s", "delay 1500 ms\nstatus 0\n", L"4E"},
                             Tool{"4 s", "address 0x40\ndelay 4 s\nstatus 0\n", L"40"}})
    {
        SCOPED_TRACE(tool.scenario);
        ToastPlatformFiles platform;
        ProgramUnderTest program;
        program.StageTool(tool.scenario);
        HWND window = program.StartWithWindow(L"-retrycount 3");
        ASSERT_TRUE(program.WaitForLogText(kDetected + tool.address + L") detected.", 90000));
        const ULONGLONG changeAt = GetTickCount64();
        PlugIn(program, 2);
        ASSERT_EQ(1u, WaitForToasts(platform.Journal(), 1).size());
        std::printf("a tool %s late: toast %.1f s after the charger change\n", tool.late,
                    (GetTickCount64() - changeAt) / 1000.0);
        const size_t sent = CountLine(program.Texts(), kCommandSent);
        ASSERT_TRUE(program.WaitForLogText(kCommandSent, 30000, sent + 2));
        // The probes at 0x4E find no chip there: only the polls' reads count.
        const auto texts = From(program.Texts(), kThread + L"_retryCount(3)");
        EXPECT_EQ(std::wstring::npos, FindLine(texts, kFailedRead));
        EXPECT_EQ(std::wstring::npos, FindLinePrefix(texts, kResend));
        EXPECT_EQ(std::wstring::npos, FindLine(texts, kGiveUp));
        EXPECT_EQ(0u, program.ExitThroughMenu(window));
    }
}

// A sleep or File, Exit during a resend that starts a fresh console and probes again.
TEST(RecoveryTest, StopDuringAResend_ReturnsWithinASecond)
{
    ProgramUnderTest program;
    program.StageTool("none\n");
    HWND window = program.StartWithWindow(L"");
    const auto resendStarts = [&](size_t nth)
    {
        // The first thread starts the console and looks for the chip before it polls.
        ASSERT_TRUE(program.WaitForLogText(kThread + L"_retryCount(50)", kWaitMs, nth));
        EXPECT_TRUE(Terminate(ChildProcessOf(program.ProcessId(), L"cmd.exe")));
        ASSERT_TRUE(program.WaitForLogText(kFreshConsole, kWaitMs, nth));
    };
    resendStarts(1);
    ULONGLONG at = GetTickCount64();
    SendMessageW(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    const ULONGLONG suspendMs = GetTickCount64() - at;
    SendMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    resendStarts(2);
    at = GetTickCount64();
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
    const ULONGLONG exitMs = GetTickCount64() - at;
    std::printf("during a resend: suspend returned in %llu ms, File, Exit ended the program in %llu ms\n",
                suspendMs, exitMs);
    EXPECT_LT(suspendMs, 1000u);
    EXPECT_LT(exitMs, 1000u);
}
