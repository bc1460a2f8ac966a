// Detection on battery and back on mains, with the power source that
// with-power-supply.sh lays over the system's, and the notice Windows would send.
#include "support/ProgramUnderTest.h"
#include "support/ScopedState.h"
#include "support/Wait.h"
#include "support/ToastJournal.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace
{
constexpr size_t kNone = std::wstring::npos;
const std::wstring kThread = L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] ";
const std::wstring kThreadIn = kThread + L"in.";
const std::wstring kThreadOut = kThread + L"out.\n";
const std::wstring kPower = L"[ChipAccessHelper][ChipAccessHelper::OnPowerSource] @@@@@ ";
const std::wstring kPaused = kPower + L"On battery (ACLineStatus 0x0): detection paused. @@@@@";
const std::wstring kResumed = kPower + L"On mains (ACLineStatus 0x1): detection resumed. @@@@@";
const std::wstring kAfresh =
    kPower + L"On mains (ACLineStatus 0x1) after a wake-up: detection starts afresh. @@@@@";
const std::wstring kPreprocessing = L"[ChipAccessHelper][ChipAccessHelper::Preprocessing] in.";
const std::wstring kSent =
    L"[ChipAccessHelper][ChipAccessHelper::SendCommand2SlaveAddress] Sending command - done.";
const std::wstring kNoticeLine = L"[Voltwren][WndProc] *** PBT_APMPOWERSTATUSCHANGE (wParam = 0xA)***";
const std::string kUsbPd = "<text>Charging with USB Power Delivery (USB PD) technology.</text>";

// Nothing ran since the pause: no detection thread started, no command was typed, and the tool
// got none beyond those typed before.
void ExpectNothingRan(const ProgramUnderTest& program, const char* when, size_t typed, size_t threads)
{
    SCOPED_TRACE(when);
    const auto texts = program.Texts();
    EXPECT_EQ(typed, CountLine(texts, kSent));
    EXPECT_LE(program.ToolCommands().size(), typed);
    EXPECT_EQ(threads, CountLine(texts, kThreadIn));
}

// The last detection thread, stopped again straight after the mains notice that started it, began
// a poll (in detailed mode): a thread that waited its usual second first would have done nothing. A
// stop cuts the poll's own waits short, so its command may never be typed.
void ExpectTheLastThreadPolledAtOnce(const std::vector<std::wstring>& texts)
{
    size_t in = kNone;
    for (size_t next = FindLine(texts, kThreadIn); next != kNone; next = FindLine(texts, kThreadIn, next + 1))
    {
        in = next;
    }
    const size_t out = FindLine(texts, kThreadOut, in);
    ASSERT_NE(kNone, out) << "the thread did not end";
    const std::wstring polls[] = {
        kThread + L"Executing the polling process ...", kSent,
        kThread + L"Change of charging type detected (2).\n",
        L"[ChipAccessHelper][ChipAccessHelper::ReadQcPdPresenceStatusFromFile] @@@@@ Unable to open the target file !!! @@@@@"};
    const bool polled =
        std::any_of(std::begin(polls), std::end(polls),
                    [&](const std::wstring& poll) { return FindLine(texts, poll, in) < out; });
    EXPECT_TRUE(polled) << "no command and no reading before the thread's first wait";
}
} // namespace

class PowerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_supply = ScriptFolder(L"VWN_POWER_SUPPLY", "tests/power/with-power-supply.sh");
    }

    // What Windows does when the charger is plugged in or out: the state, then the notice. The
    // notice returns once the program has handled it.
    void SwitchTo(bool mains, HWND window)
    {
        SCOPED_TRACE(mains ? "to mains" : "to battery");
        ASSERT_TRUE(WriteFileBytes(m_supply + L"AC\\online", mains ? "1\n" : "0\n"));
        if (window != nullptr)
        {
            SendMessageW(window, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0);
        }
    }

    HWND Start(ProgramUnderTest& program, const std::string& scenario, const std::wstring& arguments = L"")
    {
        SCOPED_TRACE("start with scenario " + scenario);
        program.StageTool(scenario);
        EXPECT_TRUE(program.Start(arguments));
        HWND window = program.WaitForWindow();
        EXPECT_TRUE(program.WaitForLogText(L"[ChipAccessHelper][ChipAccessHelper::Run] _retryCount(50)"));
        return window;
    }

    std::wstring m_supply;
    ToastPlatformFiles platform;
};

TEST_F(PowerTest, OnBattery_NothingRunsAndMainsReadsAtOnce)
{
    SwitchTo(true, nullptr);
    ProgramUnderTest program;
    HWND window = Start(program, "status 2\n", L"-showconsole");
    ASSERT_NE(nullptr, window);
    ASSERT_EQ(1u, WaitForToasts(platform.Journal(), 1).size());

    SwitchTo(false, window);
    ASSERT_TRUE(program.WaitForLogText(kPaused));
    // Unplugged as far as detection knows: the charger's next toast will show again.
    const auto texts = program.Texts();
    const size_t paused = FindLine(texts, kPaused);
    EXPECT_NE(kNone, FindLine(texts, kThread + L"Current charging type (2).", paused));
    EXPECT_NE(kNone, FindLine(texts, kThread + L"Change of charging type detected (0).\n", paused));
    // The thread has ended before the notice returned.
    EXPECT_NE(kNone, FindLine(texts, kThreadOut, paused));
    const size_t typed = CountLine(texts, kSent);
    const size_t preprocessed = CountLine(texts, kPreprocessing);
    // A notice that only the battery's charge changed wakes nothing either.
    SendMessageW(window, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0);
    ASSERT_TRUE(program.WaitForLogText(kNoticeLine, kWaitMs, 2));
    ExpectNothingRan(program, "on battery", typed, 1);
    EXPECT_EQ(1u, ShownToasts(platform.Journal()).size());

    SwitchTo(true, window);
    const auto toasts = WaitForToasts(platform.Journal(), 2);
    ASSERT_EQ(2u, toasts.size());
    EXPECT_NE(std::string::npos, toasts[1].xml.find(kUsbPd));
    EXPECT_EQ(1u, CountLine(program.Texts(), kResumed));
    // The paused run goes on: the tool's folder file is not read again.
    EXPECT_EQ(preprocessed, CountLine(program.Texts(), kPreprocessing));

    // Without the usual one-second wait (how soon in time is measured by run-bench --battery).
    SwitchTo(false, window);
    SwitchTo(true, window);
    SwitchTo(false, window);
    EXPECT_EQ(2u, CountLine(program.Texts(), kResumed));
    ExpectTheLastThreadPolledAtOnce(program.Texts());
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}

// Nothing of the tool starts on battery, not even its console: the first thread on mains
// starts it and looks for the chip.
TEST_F(PowerTest, BatteryAtStart_NothingOfTheToolUntilMainsThroughSleep)
{
    SwitchTo(false, nullptr);
    ProgramUnderTest program;
    HWND window = Start(program, "status 0\n");
    ASSERT_NE(nullptr, window);
    const std::wstring console =
        L"[ChipAccessHelper][ChipAccessHelper::CreatePipeRedirectedConsole] _result -> 1";
    const std::wstring detected =
        L"[ChipAccessHelper][ChipAccessHelper::DetectSlaveAddress] _addr(0x4E) detected.";
    EXPECT_EQ(0u, CountLine(program.Texts(), console));
    EXPECT_EQ(1u, CountLine(program.Texts(), kPaused));

    // Both notices return once the program has handled them.
    SendMessageW(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    SendMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    EXPECT_EQ(
        2u,
        CountLine(
            program.Texts(),
            L"[ChipAccessHelper][ChipAccessHelper::Run] On battery: the thread starts when mains power returns."));
    ExpectNothingRan(program, "on battery after a wake-up", 0, 0);
    EXPECT_EQ(0u, CountLine(program.Texts(), kPreprocessing));

    // After a wake-up the next start is a fresh one, even though it comes with mains power.
    SwitchTo(true, window);
    EXPECT_TRUE(program.WaitForLogText(detected));
    const auto texts = program.Texts();
    EXPECT_EQ(1u, CountLine(texts, kAfresh));
    EXPECT_EQ(0u, CountLine(texts, kResumed));
    EXPECT_LT(FindLine(texts, kThreadIn), FindLine(texts, console));
    EXPECT_EQ(1u, CountLine(texts, kPreprocessing));
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}

// With the policy set small: detection settles on mains, a power notice brings back the active
// cadence with a read at once, and a change is still seen while settled.
TEST_F(PowerTest, Settled_ANoticeWakesItAndAChangeIsStillSeen)
{
    SwitchTo(true, nullptr);
    ScopedRegistryKey policy(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Policies\\Tessaly\\Voltwren");
    policy.Set(L"SettleAfterSeconds", 5);
    policy.Set(L"SettledPollSeconds", 10);
    ProgramUnderTest program;
    HWND window = Start(program, "status 0\n");
    ASSERT_NE(nullptr, window);
    const std::wstring settled = kThread + L"Detection settled: reading every 10 s until something changes.";
    ASSERT_TRUE(program.WaitForLogText(settled));
    // Settled, a command every 10 s, where the active cadence types one every 1.4 s.
    const size_t typed = CountLine(program.Texts(), kSent);
    Sleep(8000);
    EXPECT_LE(CountLine(program.Texts(), kSent), typed + 1);

    // A notice on mains: a charger may have been swapped.
    const size_t beforeNotice = CountLine(program.Texts(), kSent);
    SwitchTo(true, window);
    EXPECT_TRUE(program.WaitForLogText(kThread + L"Detection active again: a power notice."));
    EXPECT_TRUE(program.WaitForLogText(kSent, 5000, beforeNotice + 1));

    // Settled again, the next settled read still sees a charger that changes without a notice.
    ASSERT_TRUE(program.WaitForLogText(settled, kWaitMs, 2));
    const std::wstring override = program.ToolFolder() + L"sim-override.txt";
    ASSERT_TRUE(WriteFileBytes(override + L".new", "2"));
    ASSERT_TRUE(MoveFileExW((override + L".new").c_str(), override.c_str(), MOVEFILE_REPLACE_EXISTING));
    ASSERT_EQ(1u, WaitForToasts(platform.Journal(), 1).size());
    EXPECT_TRUE(program.WaitForLogText(kThread + L"Detection active again: a change of charging type."));
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}

// A pause that came after a failed read: back on mains, the first poll types the command
// again instead of waiting for the resend that the failed reads would bring.
TEST_F(PowerTest, MainsAfterAFailedRead_FirstPollSendsTheCommand)
{
    SwitchTo(true, nullptr);
    ProgramUnderTest program;
    HWND window = Start(program, "status 0 for 2 commands\nnone for 1 command\nstatus 2\n");
    ASSERT_NE(nullptr, window);
    const std::wstring unread =
        L"[ChipAccessHelper][ChipAccessHelper::ReadQcPdPresenceStatusFromFile] @@@@@ Unable to open the target file !!! @@@@@";
    ASSERT_TRUE(program.WaitForLogText(unread));
    SwitchTo(false, window);
    ASSERT_TRUE(program.WaitForLogText(kPaused));

    SwitchTo(true, window);
    ASSERT_EQ(1u, WaitForToasts(platform.Journal(), 1).size());
    const auto texts = program.Texts();
    const size_t resumed = FindLine(texts, kResumed);
    ASSERT_NE(kNone, resumed);
    EXPECT_LT(FindLine(texts, kSent, resumed),
              FindLine(texts, kThread + L"Change of charging type detected (2).\n"));
    EXPECT_EQ(kNone,
              FindLine(texts, kThread + L"No value after 5 reads: sending the command again ...", resumed));
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}
