// Detection on battery and back on mains, with the power source that
// with-power-supply.sh lays over the system's, and the notice Windows would send.
#include "support/ProgramUnderTest.h"
#include "support/ToastJournal.h"

#include <gtest/gtest.h>

namespace
{
constexpr DWORD kWaitMs = 30000;
const std::wstring kThread = L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] ";
const std::wstring kPower = L"[ChipAccessHelper][ChipAccessHelper::OnPowerSource] @@@@@ ";
const std::wstring kPaused = kPower + L"On battery (ACLineStatus 0x0): detection paused. @@@@@";
const std::wstring kResumed = kPower + L"On mains (ACLineStatus 0x1): detection resumed. @@@@@";
const std::wstring kAfresh =
    kPower + L"On mains (ACLineStatus 0x1) after a wake-up: detection starts afresh. @@@@@";
const std::wstring kPreprocessing = L"[ChipAccessHelper][ChipAccessHelper::Preprocessing] in.";
const std::string kUsbPd = "<text>Charging with USB Power Delivery (USB PD) technology.</text>";

// "2026-01-05T09:14:03.412Z", as the simulator's journal writes it, in milliseconds since 1601.
ULONGLONG JournalMilliseconds(const std::string& text)
{
    SYSTEMTIME time = {};
    if (sscanf(text.c_str(), "%hu-%hu-%huT%hu:%hu:%hu.%huZ", &time.wYear, &time.wMonth, &time.wDay,
               &time.wHour, &time.wMinute, &time.wSecond, &time.wMilliseconds) != 7)
    {
        return 0;
    }
    FILETIME file = {};
    SystemTimeToFileTime(&time, &file);
    return ((static_cast<ULONGLONG>(file.dwHighDateTime) << 32) | file.dwLowDateTime) / 10000;
}

ULONGLONG NowMilliseconds()
{
    FILETIME now = {};
    GetSystemTimePreciseAsFileTime(&now);
    return ((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime) / 10000;
}

// When the tool received each command, from its journal.
std::vector<ULONGLONG> CommandTimes(const ProgramUnderTest& program)
{
    std::vector<ULONGLONG> times;
    const std::string journal = ReadFileBytes(program.ToolFolder() + L"sim-journal.txt");
    for (size_t start = 0, end = journal.find('\n'); end != std::string::npos;
         end = journal.find('\n', start))
    {
        times.push_back(JournalMilliseconds(journal.substr(start, journal.find('\t', start) - start)));
        start = end + 1;
    }
    return times;
}
} // namespace

class PowerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t folder[MAX_PATH] = {};
        ASSERT_GT(GetEnvironmentVariableW(L"VWN_POWER_SUPPLY", folder, MAX_PATH), 0u)
            << "run through tests/power/with-power-supply.sh";
        m_supply = folder;
    }

    // What Windows does when the charger is plugged in or out: the state, then the notice.
    void SwitchTo(bool mains, HWND window)
    {
        ASSERT_TRUE(WriteFileBytes(m_supply + L"AC\\online", mains ? "1\n" : "0\n"));
        if (window != nullptr)
        {
            SendMessageW(window, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0);
        }
    }

    HWND Start(ProgramUnderTest& program, const std::string& scenario)
    {
        program.StageTool(scenario);
        EXPECT_TRUE(program.Start(L""));
        HWND window = program.WaitForWindow(kWaitMs);
        EXPECT_TRUE(
            program.WaitForLogText(L"[ChipAccessHelper][ChipAccessHelper::Run] _retryCount(50)", kWaitMs));
        return window;
    }

    void ExitWithCode0(ProgramUnderTest& program, HWND window)
    {
        SendExitCommand(window);
        DWORD exitCode = 0xDEADBEEF;
        ASSERT_TRUE(program.WaitForExit(kWaitMs, exitCode));
        EXPECT_EQ(0u, exitCode);
    }

    std::wstring m_supply;
    ToastPlatformFiles platform;
};

TEST_F(PowerTest, OnBattery_NothingRunsAndMainsReadsAtOnce)
{
    SwitchTo(true, nullptr);
    ProgramUnderTest program;
    HWND window = Start(program, "status 2\n");
    ASSERT_NE(nullptr, window);
    ASSERT_EQ(1u, WaitForToasts(platform.Journal(), 1, kWaitMs).size());

    SwitchTo(false, window);
    ASSERT_TRUE(program.WaitForLogText(kPaused, kWaitMs));
    // Unplugged as far as detection knows: the charger's next toast will show again.
    const auto texts = program.Texts();
    const size_t paused = FindLine(texts, kPaused);
    EXPECT_NE(std::wstring::npos, FindLine(texts, kThread + L"Current charging type (2).", paused));
    EXPECT_NE(std::wstring::npos,
              FindLine(texts, kThread + L"Change of charging type detected (0).\n", paused));
    const size_t commands = program.ToolCommands().size();
    const size_t preprocessed = CountLine(program.Texts(), kPreprocessing);
    Sleep(30000);
    EXPECT_EQ(commands, program.ToolCommands().size());
    EXPECT_EQ(1u, ShownToasts(platform.Journal()).size());

    const ULONGLONG notice = NowMilliseconds();
    SwitchTo(true, window);
    const auto toasts = WaitForToasts(platform.Journal(), 2, kWaitMs);
    ASSERT_EQ(2u, toasts.size());
    EXPECT_NE(std::string::npos, toasts[1].xml.find(kUsbPd));
    EXPECT_EQ(1u, CountLine(program.Texts(), kResumed));
    // The paused run goes on: the tool's folder file is not read again.
    EXPECT_EQ(preprocessed, CountLine(program.Texts(), kPreprocessing));
    // Without the usual one-second wait: the tool had the command well within it.
    const auto times = CommandTimes(program);
    ASSERT_GT(times.size(), commands);
    EXPECT_LT(times[commands], notice + 1000) << times[commands] - notice << " ms";
    ExitWithCode0(program, window);
}

TEST_F(PowerTest, BatteryAtStart_ProbesThenWaitsThroughSleepForMains)
{
    SwitchTo(false, nullptr);
    ProgramUnderTest program;
    HWND window = Start(program, "status 0\n");
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(1u,
              CountLine(program.Texts(),
                        L"[ChipAccessHelper][ChipAccessHelper::DetectSlaveAddress] _addr(0x4E) detected."));
    EXPECT_EQ(1u, CountLine(program.Texts(), kPaused));

    SendMessageW(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    SendMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    const size_t commands = program.ToolCommands().size();
    Sleep(3000);
    EXPECT_EQ(commands, program.ToolCommands().size());
    EXPECT_EQ(0u, CountLine(program.Texts(), kThread + L"in."));
    EXPECT_EQ(
        2u,
        CountLine(
            program.Texts(),
            L"[ChipAccessHelper][ChipAccessHelper::Run] On battery: the thread starts when mains power returns."));

    // After a wake-up the next start is a fresh one, even though it comes with mains power.
    const size_t preprocessed = CountLine(program.Texts(), kPreprocessing);
    SwitchTo(true, window);
    EXPECT_TRUE(program.WaitForLogText(kThread + L"in.", kWaitMs));
    EXPECT_EQ(1u, CountLine(program.Texts(), kAfresh));
    EXPECT_EQ(0u, CountLine(program.Texts(), kResumed));
    EXPECT_TRUE(program.WaitForLogText(kPreprocessing, kWaitMs, preprocessed + 1));
    ExitWithCode0(program, window);
}
