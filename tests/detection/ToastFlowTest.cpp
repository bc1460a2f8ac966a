// Charging changes as the user sees them: toasts reaching the (stand-in)
// toast platform, and the identity that the program registers for them.
#include "base/UniqueHandle.h"
#include "detection/ChargingType.h"
#include "support/ProgramUnderTest.h"
#include "support/ScopedState.h"
#include "support/Wait.h"
#include "support/ToastJournal.h"

#include <gtest/gtest.h>

namespace
{
const std::wstring kThread = L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] ";
const std::wstring kAumidKey = L"SOFTWARE\\Classes\\AppUserModelId\\Tessaly.VoltwrenPowerBeacon";
const std::string kUsbPd = "<text>Charging with USB Power Delivery (USB PD) technology.</text>";
const std::string kQuickCharge = "<text>Charging with Quick Charge (QC) technology.</text>";
// A byte the tool may give that names no fast charging.
constexpr BYTE kNotFast = 3;
static_assert(ChargingTypeToastLine(kNotFast) == nullptr, "pick a byte that is no charging type");
const std::string kNotFastStatus = "status " + std::to_string(kNotFast);

bool UserKeyExists(const std::wstring& subKey)
{
    UniqueRegistryKey key;
    return RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
}
} // namespace

class ToastFlowTest : public ::testing::Test
{
protected:
    HWND Start(ProgramUnderTest& program, const std::string& scenario)
    {
        program.StageTool(scenario);
        return program.StartWithWindow(L"");
    }

    // Counted from now: the probe's tries may already have made sends before a toast was shown.
    static bool WaitForTwoMorePolls(ProgramUnderTest& program)
    {
        const std::wstring sent =
            L"[ChipAccessHelper][ChipAccessHelper::SendCommand2SlaveAddress] Sending command - done.";
        return program.WaitForLogText(sent, kWaitMs, CountLine(program.Texts(), sent) + 2);
    }

    ToastPlatformFiles platform;
};

// The tool answers 0, 2, 0, not fast, 1: every change is logged, and only 2 and 1 bring a toast.
TEST_F(ToastFlowTest, Plays0_2_0_NotFast_1_LogsEachChangeAndToastsUsbPdThenQuickCharge)
{
    ProgramUnderTest program;
    HWND window =
        Start(program, "status 0 for 2 commands\nstatus 2 for 2 commands\nstatus 0 for 1 command\n" +
                           kNotFastStatus + " for 1 command\nstatus 1\n");
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(program.WaitForLogText(kThread + L"Change of charging type detected (1).\n"));
    const auto texts = program.Texts();
    size_t at = 0;
    for (const auto& change : std::vector<std::pair<int, int>>{{0, 2}, {2, 0}, {0, kNotFast}, {kNotFast, 1}})
    {
        SCOPED_TRACE(change.second);
        at =
            FindLine(texts, kThread + L"Current charging type (" + std::to_wstring(change.first) + L").", at);
        ASSERT_NE(std::wstring::npos, at);
        EXPECT_EQ(kThread + L"Change of charging type detected (" + std::to_wstring(change.second) + L").\n",
                  texts[at + 1]);
    }
    EXPECT_EQ(4u,
              CountLine(texts, kThread + L"Current charging type (0).") +
                  CountLine(texts, kThread + L"Current charging type (2).") +
                  CountLine(texts, kThread + L"Current charging type (" + std::to_wstring(kNotFast) + L")."));

    const auto toasts = WaitForToasts(platform.Journal(), 2);
    ASSERT_EQ(2u, toasts.size());
    EXPECT_NE(std::string::npos, toasts[0].xml.find(kUsbPd)) << toasts[0].xml;
    EXPECT_NE(std::string::npos, toasts[1].xml.find(kQuickCharge)) << toasts[1].xml;
    const std::string image = "src=\"" + ToUtf8(program.Folder()) + "notification_icon.png\"";
    for (const ToastRecord& toast : toasts)
    {
        EXPECT_EQ("Tessaly.VoltwrenPowerBeacon", toast.identifier);
        EXPECT_EQ("registered=1", toast.registered);
        EXPECT_NE(std::string::npos, toast.xml.find("<text>Fast Charge Mode On</text>"));
        EXPECT_NE(std::string::npos, toast.xml.find(image)) << toast.xml;
    }
    // The identity exists while the program runs and is gone after it; its activator class stays.
    EXPECT_TRUE(UserKeyExists(kAumidKey));
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
    EXPECT_FALSE(UserKeyExists(kAumidKey));
}

// The switches Windows reads, each off in turn: the toast is still handed over,
// and the log names the setting that keeps it from the screen.
TEST_F(ToastFlowTest, NotificationsOff_LogNamesTheSettingAndTheToastIsStillShown)
{
    const std::wstring windows = L"Software\\Microsoft\\Windows\\CurrentVersion\\";
    const std::wstring policies = L"Software\\Policies\\Microsoft\\Windows\\CurrentVersion\\";
    const struct
    {
        std::wstring key;
        const wchar_t *value, *setting;
        DWORD data;
    } cases[] = {
        {windows + L"Notifications\\Settings\\Tessaly.VoltwrenPowerBeacon", L"Enabled",
         L"DisabledForApplication", 0},
        {windows + L"PushNotifications", L"ToastEnabled", L"DisabledForUser", 0},
        {policies + L"PushNotifications", L"NoToastApplicationNotification", L"DisabledByGroupPolicy", 1},
    };
    size_t toasts = 0;
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.setting);
        const ScopedUserValue off(c.key, c.value, c.data);
        ProgramUnderTest program;
        HWND window = Start(program, "status 2\n");
        ASSERT_NE(nullptr, window);
        ++toasts;
        ASSERT_EQ(toasts, WaitForToasts(platform.Journal(), toasts).size());
        EXPECT_TRUE(program.WaitForLogText(
            L"[Voltwren][ShowToastNotification] The toast will not be shown: NotificationSetting " +
            std::wstring(c.setting) + L"."));
        EXPECT_EQ(0u, program.ExitThroughMenu(window));
    }
}

TEST_F(ToastFlowTest, UsbPdAlreadyPresent_ShowsOneToast)
{
    ProgramUnderTest program;
    HWND window = Start(program, "status 2\n");
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(program.WaitForLogText(kThread + L"Change of charging type detected (2).\n"));
    // Two more polls with the same type bring no further toast.
    ASSERT_TRUE(WaitForTwoMorePolls(program));
    EXPECT_EQ(1u, ShownToasts(platform.Journal()).size());
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}

TEST_F(ToastFlowTest, RefusedToast_DetectionGoesOnAndTheNextChangeShows)
{
    WriteFileBytes(platform.FailSwitch(), "0x80070005");
    ProgramUnderTest program;
    HWND window =
        Start(program, "status 0 for 1 command\nstatus 2 for 3 commands\nstatus 0 for 1 command\nstatus 1\n");
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(
        program.WaitForLogText(kThread + L"@@@@@ Unable to show the toast, HRESULT(0x80070005) !!! @@@@@"));
    DeleteFileW(platform.FailSwitch().c_str());
    ASSERT_TRUE(program.WaitForLogText(kThread + L"Change of charging type detected (1).\n"));
    const auto toasts = WaitForToasts(platform.Journal(), 1);
    ASSERT_EQ(1u, toasts.size());
    EXPECT_NE(std::string::npos, toasts[0].xml.find(kQuickCharge));
    // The refused type was still remembered: no retry of the USB PD toast on later polls.
    EXPECT_EQ(1u, CountLine(program.Texts(), kThread + L"Change of charging type detected (2).\n"));
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}

TEST_F(ToastFlowTest, DirectChanges_EachShowsItsToastAndAResumeOnTheSameTypeShowsNone)
{
    ProgramUnderTest program;
    // The probe takes the first read.
    HWND window =
        Start(program, "status 2 for 2 commands\nstatus 1 for 2 commands\nstatus 2 for 2 commands\n" +
                           kNotFastStatus + " for 2 commands\nstatus 2\n");
    ASSERT_NE(nullptr, window);
    const auto toasts = WaitForToasts(platform.Journal(), 4);
    ASSERT_EQ(4u, toasts.size());
    const std::string expected[] = {kUsbPd, kQuickCharge, kUsbPd, kUsbPd};
    for (size_t i = 0; i < 4; ++i)
    {
        EXPECT_NE(std::string::npos, toasts[i].xml.find(expected[i])) << i;
    }

    SendMessageW(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    SendMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    ASSERT_TRUE(WaitForTwoMorePolls(program));
    EXPECT_EQ(4u, ShownToasts(platform.Journal()).size());
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}

// An instance released early must not take the identity from one started after it.
TEST_F(ToastFlowTest, EarlyReleasedInstanceEndsLater_NewerInstanceKeepsItsIdentity)
{
    ProgramUnderTest first;
    HWND firstWindow = Start(first, "status 0\n");
    ASSERT_NE(nullptr, firstWindow);
    SendMessageW(firstWindow, WM_CLOSE, 0, 0);

    ProgramUnderTest second;
    HWND secondWindow = Start(second, "status 0 for 5 commands\nstatus 2\n");
    ASSERT_NE(nullptr, secondWindow);
    EXPECT_EQ(0u, first.ExitThroughMenu(firstWindow));
    EXPECT_TRUE(UserKeyExists(kAumidKey));

    const auto toasts = WaitForToasts(platform.Journal(), 1);
    ASSERT_EQ(1u, toasts.size());
    EXPECT_EQ("registered=1", toasts[0].registered);
    EXPECT_EQ(0u, second.ExitThroughMenu(secondWindow));
}

// A toast that keeps the detection thread longer than Stop waits: nothing it uses is
// freed, no second thread starts, and the program still ends cleanly.
TEST_F(ToastFlowTest, ToastOutlastsStop_ThreadKeepsItsPartsAndNoSecondThreadStarts)
{
    ProgramUnderTest program;
    HWND window = nullptr;
    {
        const ScopedEnvironment slowToasts(L"VWN_TOAST_SHOW_DELAY_MS", L"20000");
        window = Start(program, "status 2\n");
    }
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(program.WaitForLogText(kThread + L"Change of charging type detected (2).\n"));

    SendMessageW(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    SendMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, program.ExitThroughMenu(window));

    const auto texts = program.Texts();
    EXPECT_EQ(1u, CountLine(texts, kThread + L"in."));
    EXPECT_EQ(
        1u,
        CountLine(
            texts,
            L"[ChipAccessHelper][ChipAccessHelper::Stop] @@@@@ The thread did not end: it keeps what it uses until it ends !!! @@@@@"));
    EXPECT_EQ(
        1u,
        CountLine(
            texts,
            L"[ChipAccessHelper][ChipAccessHelper::Run] @@@@@ The earlier thread still runs: no second thread is started !!! @@@@@"));
    EXPECT_EQ(
        1u,
        CountLine(
            texts,
            L"[ChipAccessHelper][ChipAccessHelper::Release] @@@@@ The thread still runs: its event and console stay until it ends !!! @@@@@"));
}
