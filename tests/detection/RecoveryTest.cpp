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
const std::wstring kFailedRead =
    L"[ChipAccessHelper][ChipAccessHelper::ReadQcPdPresenceStatusFromFile] @@@@@ Unable to open the target file !!! @@@@@";
const std::wstring kCommandSent =
    L"[ChipAccessHelper][ChipAccessHelper::SendCommand2SlaveAddress] Sending command - done.";

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
        const auto toasts = WaitForToasts(platform.Journal(), i + 1);
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

// The command goes out again after every 5th failed read, and the program
// still ends itself after retry count + 1 failed reads in a row.
TEST(RecoveryTest, ToolNeverAnswersAgain_ResendsAndGivesUpAtTheSameBound)
{
    const std::pair<const char*, size_t> tools[] = {{"status 0 for 1 command\nnone\n", 0},
                                                    {"status 0 for 1 command\nstatus 0 delay 600 s\n", 2}};
    for (const auto& [scenario, hungRuns] : tools)
    {
        SCOPED_TRACE(scenario);
        ProgramUnderTest program;
        program.StageTool(scenario);
        EXPECT_EQ(0u, program.RunToExit(L"-retrycount 11", 60000));
        const auto polling = From(program.Texts(), kThread + L"in.");
        EXPECT_EQ(12u, CountLine(polling, kFailedRead));
        EXPECT_EQ(3u, CountLine(polling, kCommandSent));
        EXPECT_EQ(1u, CountLine(polling, kResend + L"5 reads: sending the command again ..."));
        EXPECT_EQ(1u, CountLine(polling, kResend + L"10 reads: sending the command again ..."));
        size_t hung = 0;
        for (const std::wstring& line : polling)
        {
            hung += line.rfind(kHungRun, 0) == 0 ? 1 : 0;
        }
        EXPECT_EQ(hungRuns, hung);
        EXPECT_EQ(1u, CountLine(polling, kGiveUp));
        EXPECT_TRUE(ProcessEnds(ChildProcessOf(program.ProcessId(), L"cmd.exe"), 5000));
    }
}
