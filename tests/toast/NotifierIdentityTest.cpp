#include "toast/NotifierIdentity.h"

#include "ToastTestSupport.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <thread>

namespace
{

using namespace ToastTest;

constexpr wchar_t kAumid[] = L"Tessaly.VoltwrenPowerBeacon";
constexpr wchar_t kDisplayName[] = L"Tessaly Voltwren";
// ClsidTextFromAumid of kAumid, worked out by hand from its FNV-1a hash 90015346.
constexpr wchar_t kClsidText[] = L"90015346-0000-0000-0000-000000000000";

// The class key holds only the quoted start command.
void ExpectLocalServer(const std::wstring& clsidText, const std::wstring& executable)
{
    const std::optional<RegistryValues> values = ReadUserKey(LocalServerKey(clsidText));
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(*values, (RegistryValues{{L"", Sz(L"\"" + executable + L"\" -ToastActivated")}}));
}

// Exactly the values of kAumid's identity; an empty icon path leaves no IconUri.
void ExpectIdentity(const std::wstring& icon)
{
    RegistryValues expected{{L"DisplayName", Sz(kDisplayName)},
                            {L"IconBackgroundColor", Sz(L"FFDDDDDD")},
                            {L"CustomActivator", Sz(std::wstring(L"{") + kClsidText + L"}")}};
    if (!icon.empty())
    {
        expected[L"IconUri"] = Sz(icon);
    }
    const std::optional<RegistryValues> values = ReadUserKey(AumidKey(kAumid));
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(*values, expected);
    ExpectLocalServer(kClsidText, ThisExecutablePath());
}

// Works on the real per-user registry of the test prefix and takes away whatever it wrote.
class NotifierIdentityRegistry : public ::testing::Test
{
protected:
    void TearDown() override
    {
        for (const std::wstring& aumid : m_written)
        {
            ForgetIdentity(aumid);
        }
    }

    void Register(const std::wstring& aumid, const std::wstring& iconPath)
    {
        m_written.push_back(aumid);
        NotifierIdentity::Register(aumid, kDisplayName, iconPath);
    }

    ScopedJournal m_journal{L"identity"};
    std::vector<std::wstring> m_written;
};

TEST_F(NotifierIdentityRegistry, HasPackageIdentity_FalseForAnUnpackagedProcess)
{
    EXPECT_FALSE(NotifierIdentity::HasPackageIdentity());
    EXPECT_FALSE(NotifierIdentity::HasPackageIdentity());
}

// Fresh, over a leftover registration, and again without an icon.
TEST_F(NotifierIdentityRegistry, Register_WritesEveryValueExactlyAndDropsIconUriForNoIcon)
{
    const std::wstring icon = BinFolder() + L"notification_icon.png";
    Register(kAumid, icon);
    ExpectIdentity(icon);

    for (const wchar_t* name : {L"DisplayName", L"IconUri", L"IconBackgroundColor", L"CustomActivator"})
    {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, AumidKey(kAumid).c_str(), name, REG_SZ, L"stale", 12),
                  ERROR_SUCCESS);
    }
    ASSERT_EQ(
        RegSetKeyValueW(HKEY_CURRENT_USER, LocalServerKey(kClsidText).c_str(), nullptr, REG_SZ, L"stale", 12),
        ERROR_SUCCESS);
    Register(kAumid, L"C:\\Program Files\\Tessaly\\Voltwren\\notification_icon.png");
    ExpectIdentity(L"C:\\Program Files\\Tessaly\\Voltwren\\notification_icon.png");

    Register(kAumid, L"");
    ExpectIdentity(L"");
    // Registration alone talks to no toast platform.
    EXPECT_FALSE(m_journal.Exists());
}

// What COM hands out for the activator's class id when the platform asks for it.
TEST_F(NotifierIdentityRegistry, Register_ClassObjectAnswersActivation)
{
    Register(kAumid, L"");
    CLSID clsid = {};
    ASSERT_EQ(CLSIDFromString((std::wstring(L"{") + kClsidText + L"}").c_str(), &clsid), NOERROR);
    WinRtAbi::INotificationActivationCallback* activator = nullptr;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER,
                               __uuidof(WinRtAbi::INotificationActivationCallback),
                               reinterpret_cast<void**>(&activator)),
              S_OK);
    ASSERT_NE(activator, nullptr);
    EXPECT_EQ(activator->Activate(kAumid, L"", nullptr, 0), S_OK);
    activator->Release();
}

// A single-threaded apartment cannot join the multithreaded one: nothing is written.
TEST_F(NotifierIdentityRegistry, Register_RaisesWhenTheThreadCannotJoinTheApartment)
{
    const std::wstring aumid = L"Tessaly.VoltwrenStaThread";
    HRESULT raised = S_OK;
    std::thread singleThreaded(
        [&]
        {
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            raised = RaisedCode([&] { Register(aumid, L""); });
            CoUninitialize();
        });
    singleThreaded.join();
    EXPECT_EQ(raised, RPC_E_CHANGED_MODE);
    EXPECT_FALSE(ReadUserKey(AumidKey(aumid)).has_value());
    EXPECT_FALSE(ReadUserKey(ClsidKey(NotifierIdentity::ClsidTextFromAumid(aumid))).has_value());
}

// Scheduled toasts go, then the history, then the identity key; the class key
// stays. The second time nothing is scheduled and nothing is raised.
TEST_F(NotifierIdentityRegistry, Unregister_OncePerRegistration)
{
    const std::wstring aumid = L"Tessaly.VoltwrenScheduled";
    const ScopedEnvironment scheduled(L"VWN_TOAST_SCHEDULED", L"3");
    Register(aumid, BinFolder() + L"notification_icon.png");

    EXPECT_NO_THROW(NotifierIdentity::Unregister());
    EXPECT_FALSE(ReadUserKey(AumidKey(aumid)).has_value());
    ExpectLocalServer(NotifierIdentity::ClsidTextFromAumid(aumid), ThisExecutablePath());

    // Meanwhile a newer instance registered the same identity: a later release here leaves it alone.
    ASSERT_EQ(
        RegSetKeyValueW(HKEY_CURRENT_USER, AumidKey(aumid).c_str(), L"DisplayName", REG_SZ, L"newer", 12),
        ERROR_SUCCESS);
    EXPECT_NO_THROW(NotifierIdentity::Unregister());
    EXPECT_TRUE(ReadUserKey(AumidKey(aumid)).has_value());
    const std::vector<JournalCall> expected = {
        {L"GetScheduledToastNotifications", aumid},
        {L"RemoveFromSchedule", aumid, L"scheduled-1"},
        {L"RemoveFromSchedule", aumid, L"scheduled-2"},
        {L"RemoveFromSchedule", aumid, L"scheduled-3"},
        {L"ClearWithId", aumid},
    };
    EXPECT_EQ(m_journal.Calls(), expected);
    RegDeleteKeyW(HKEY_CURRENT_USER, AumidKey(aumid).c_str());
}

// Children of the tests below: only a fresh process has never registered.
TEST(NotifierIdentityChild, DISABLED_UnregisterWithoutRegistration)
{
    EXPECT_NO_THROW(NotifierIdentity::Unregister());
    EXPECT_NO_THROW(NotifierIdentity::Unregister());
}

TEST(NotifierIdentityChild, DISABLED_RegisterBlankFolderIdentity)
{
    EXPECT_NO_THROW(NotifierIdentity::Register(L"Tessaly.VoltwrenBlankFolder", kDisplayName, L""));
}

TEST_F(NotifierIdentityRegistry, Unregister_BeforeAnyRegistrationDoesNothing)
{
    EXPECT_EQ(RunChildTests(L"NotifierIdentityChild.DISABLED_UnregisterWithoutRegistration"), 0);
    EXPECT_FALSE(m_journal.Exists());
}

TEST_F(NotifierIdentityRegistry, Register_QuotesAProgramPathWithBlanks)
{
    m_written.push_back(L"Tessaly.VoltwrenBlankFolder");
    const std::wstring folder = TempFilePath(L"folder with blanks", L"") + L"\\";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring copy = folder + L"Voltwren test program.exe";
    ASSERT_TRUE(CopyFileW(ThisExecutablePath().c_str(), copy.c_str(), TRUE));

    const int exitCode = RunChildTests(L"NotifierIdentityChild.DISABLED_RegisterBlankFolderIdentity", copy);

    DeleteFileW(copy.c_str());
    RemoveDirectoryW(folder.c_str());
    EXPECT_EQ(exitCode, 0);
    ExpectLocalServer(NotifierIdentity::ClsidTextFromAumid(L"Tessaly.VoltwrenBlankFolder"), copy);
}

} // namespace
