// Charging changes as the user sees them: toasts reaching the (stand-in)
// toast platform, and the identity that the program registers for them.
#include "support/ProgramUnderTest.h"

#include <gtest/gtest.h>

namespace
{
constexpr DWORD kWaitMs = 30000;
const std::wstring kThread = L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] ";
const std::wstring kAumidKey = L"SOFTWARE\\Classes\\AppUserModelId\\Tessaly.VoltwrenPowerBeacon";
const std::string kUsbPd = "<text>Charging with USB Power Delivery (USB PD) technology.</text>";
const std::string kQuickCharge = "<text>Charging with Quick Charge (QC) technology.</text>";

struct ToastRecord
{
    std::string call;
    std::string identifier;
    std::string registered;
    std::string xml;
};

std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t end = line.find('\t'); end != std::string::npos; end = line.find('\t', start))
    {
        fields.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

std::vector<ToastRecord> ShownToasts(const std::wstring& journal)
{
    std::vector<ToastRecord> shown;
    const std::string bytes = ReadFileBytes(journal);
    size_t start = 0;
    for (size_t end = bytes.find('\n'); end != std::string::npos; end = bytes.find('\n', start))
    {
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
        {
            line.pop_back();
        }
        const auto fields = SplitTabs(line);
        if (fields.size() >= 5 && fields[1] == "Show")
        {
            shown.push_back(ToastRecord{fields[1], fields[2], fields[3], fields[4]});
        }
    }
    return shown;
}

bool UserKeyExists(const std::wstring& subKey)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// Points the toast platform's journal and failure switch into a folder of this test.
class ToastPlatformFiles
{
public:
    ToastPlatformFiles() : m_folder(L"toasts")
    {
        SetEnvironmentVariableW(L"VWN_TOAST_JOURNAL", Journal().c_str());
        SetEnvironmentVariableW(L"VWN_TOAST_FAIL_FILE", FailSwitch().c_str());
    }
    ~ToastPlatformFiles()
    {
        SetEnvironmentVariableW(L"VWN_TOAST_JOURNAL", nullptr);
        SetEnvironmentVariableW(L"VWN_TOAST_FAIL_FILE", nullptr);
    }
    std::wstring Journal() const { return m_folder.Path() + L"journal.txt"; }
    std::wstring FailSwitch() const { return m_folder.Path() + L"refuse.txt"; }

private:
    TempFolder m_folder;
};
} // namespace

class ToastFlowTest : public ::testing::Test
{
protected:
    HWND Start(ProgramUnderTest& program, const std::string& scenario)
    {
        program.StageTool(scenario);
        EXPECT_TRUE(program.Start(L""));
        return program.WaitForWindow(kWaitMs);
    }

    void ExitWithCode0(ProgramUnderTest& program, HWND window)
    {
        SendExitCommand(window);
        DWORD exitCode = 0xDEADBEEF;
        ASSERT_TRUE(program.WaitForExit(kWaitMs, exitCode));
        EXPECT_EQ(0u, exitCode);
    }

    ToastPlatformFiles platform;
};

TEST_F(ToastFlowTest, Reads02201_ShowUsbPdThenQuickCharge)
{
    ProgramUnderTest program;
    HWND window = Start(
        program,
        "status 0 for 2 commands\nstatus 2 for 2 commands\nstatus 0 for 1 command\nstatus 3 for 1 command\nstatus 1\n");
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(program.WaitForLogText(kThread + L"Change of charging type detected (1).\n", kWaitMs));
    const auto toasts = ShownToasts(platform.Journal());
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
    ExitWithCode0(program, window);
    EXPECT_FALSE(UserKeyExists(kAumidKey));
}

TEST_F(ToastFlowTest, UsbPdAlreadyPresent_ShowsOneToast)
{
    ProgramUnderTest program;
    HWND window = Start(program, "status 2\n");
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(program.WaitForLogText(kThread + L"Change of charging type detected (2).\n", kWaitMs));
    // Two more polls with the same type bring no further toast.
    ASSERT_TRUE(program.WaitForLogText(
        L"[ChipAccessHelper][ChipAccessHelper::SendCommand2SlaveAddress] Sending command - done.", kWaitMs,
        4));
    EXPECT_EQ(1u, ShownToasts(platform.Journal()).size());
    ExitWithCode0(program, window);
}

TEST_F(ToastFlowTest, RefusedToast_DetectionGoesOnAndTheNextChangeShows)
{
    WriteFileBytes(platform.FailSwitch(), "0x80070005");
    ProgramUnderTest program;
    HWND window =
        Start(program, "status 0 for 1 command\nstatus 2 for 3 commands\nstatus 0 for 1 command\nstatus 1\n");
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(program.WaitForLogText(
        kThread + L"@@@@@ Unable to show the toast, HRESULT(0x80070005) !!! @@@@@", kWaitMs));
    DeleteFileW(platform.FailSwitch().c_str());
    ASSERT_TRUE(program.WaitForLogText(kThread + L"Change of charging type detected (1).\n", kWaitMs));
    const auto toasts = ShownToasts(platform.Journal());
    ASSERT_EQ(1u, toasts.size());
    EXPECT_NE(std::string::npos, toasts[0].xml.find(kQuickCharge));
    // The refused type was still remembered: no retry of the USB PD toast on later polls.
    EXPECT_EQ(1u, CountLine(program.Texts(), kThread + L"Change of charging type detected (2).\n"));
    ExitWithCode0(program, window);
}
