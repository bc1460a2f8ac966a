#include "toast/NotifierIdentity.h"
#include "toast/WinRtError.h"

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

void ExpectUserString(const std::wstring& key, const wchar_t* name, const std::wstring& expected)
{
    SCOPED_TRACE(::testing::Message() << "value \"" << (name != nullptr ? name : L"(default)") << "\"");
    const RegistryValue value = ReadUserValue(key, name);
    ASSERT_TRUE(value.present);
    EXPECT_EQ(value.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(value.size, (expected.size() + 1) * sizeof(wchar_t));
    EXPECT_EQ(value.Text(), expected);
    // Stored with its terminating zero.
    ASSERT_GE(value.bytes.size(), sizeof(wchar_t));
    EXPECT_EQ(value.bytes[value.bytes.size() - 1], 0);
    EXPECT_EQ(value.bytes[value.bytes.size() - 2], 0);
}

std::wstring ActivationCommand(const std::wstring& executable)
{
    return L"\"" + executable + L"\" -ToastActivated";
}

// Registry tests work on the real per-user registry of the test prefix and
// take away whatever they wrote.
class NotifierIdentityRegistry : public ::testing::Test
{
protected:
    void TearDown() override
    {
        for (const std::wstring& aumid : m_written)
        {
            DeleteUserTree(AumidKey(aumid));
            DeleteUserTree(ClsidKey(NotifierIdentity::ClsidTextFromAumid(aumid)));
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

TEST_F(NotifierIdentityRegistry, Register_WritesEveryValueExactly)
{
    const std::wstring icon = ThisExecutableFolder() + L"notification_icon.png";
    Register(kAumid, icon);

    const std::wstring key = AumidKey(kAumid);
    ExpectUserString(key, L"DisplayName", kDisplayName);
    ExpectUserString(key, L"IconUri", icon);
    ExpectUserString(key, L"IconBackgroundColor", L"FFDDDDDD");
    ExpectUserString(key, L"CustomActivator", std::wstring(L"{") + kClsidText + L"}");
    EXPECT_EQ(UserKeyValueCount(key), 4u);

    ExpectUserString(LocalServerKey(kClsidText), nullptr, ActivationCommand(ThisExecutablePath()));
    EXPECT_EQ(UserKeyValueCount(LocalServerKey(kClsidText)), 1u);
    // Registration alone talks to no toast platform.
    EXPECT_FALSE(m_journal.Exists());
}

TEST_F(NotifierIdentityRegistry, Register_WithoutIconRemovesAnEarlierIconUri)
{
    const std::wstring key = AumidKey(kAumid);
    const std::wstring stale = L"C:\\Old\\notification_icon.png";
    m_written.push_back(kAumid);
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"IconUri", REG_SZ, stale.c_str(),
                              static_cast<DWORD>((stale.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);

    Register(kAumid, L"");

    EXPECT_FALSE(ReadUserValue(key, L"IconUri").present);
    ExpectUserString(key, L"DisplayName", kDisplayName);
    ExpectUserString(key, L"IconBackgroundColor", L"FFDDDDDD");
    ExpectUserString(key, L"CustomActivator", std::wstring(L"{") + kClsidText + L"}");
    EXPECT_EQ(UserKeyValueCount(key), 3u);
}

TEST_F(NotifierIdentityRegistry, Register_OverwritesALeftoverRegistration)
{
    const std::wstring key = AumidKey(kAumid);
    m_written.push_back(kAumid);
    for (const wchar_t* name : {L"DisplayName", L"IconUri", L"IconBackgroundColor", L"CustomActivator"})
    {
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), name, REG_SZ, L"stale", 12), ERROR_SUCCESS);
    }
    const std::wstring localServer = LocalServerKey(kClsidText);
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, localServer.c_str(), nullptr, REG_SZ, L"stale", 12),
              ERROR_SUCCESS);

    const std::wstring icon = L"C:\\Program Files\\Tessaly\\Voltwren\\notification_icon.png";
    Register(kAumid, icon);

    ExpectUserString(key, L"DisplayName", kDisplayName);
    ExpectUserString(key, L"IconUri", icon);
    ExpectUserString(key, L"IconBackgroundColor", L"FFDDDDDD");
    ExpectUserString(key, L"CustomActivator", std::wstring(L"{") + kClsidText + L"}");
    ExpectUserString(localServer, nullptr, ActivationCommand(ThisExecutablePath()));
}

// The class object registered for the activator's class id is what COM
// hands out when the toast platform asks for the activator.
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

// A thread in a single-threaded apartment cannot join the multithreaded one:
// the error leaves Register before any value of the identity is written.
TEST_F(NotifierIdentityRegistry, Register_RaisesWhenTheThreadCannotJoinTheApartment)
{
    const std::wstring aumid = L"Tessaly.VoltwrenStaThread";
    const std::wstring clsidText = NotifierIdentity::ClsidTextFromAumid(aumid);
    HRESULT raised = S_OK;
    std::thread singleThreaded(
        [&]
        {
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            try
            {
                Register(aumid, L"");
            }
            catch (const WinRtError& error)
            {
                raised = error.Code();
            }
            CoUninitialize();
        });
    singleThreaded.join();

    EXPECT_EQ(raised, RPC_E_CHANGED_MODE);
    EXPECT_FALSE(UserKeyExists(AumidKey(aumid)));
    EXPECT_FALSE(UserKeyExists(ClsidKey(clsidText)));
}

TEST_F(NotifierIdentityRegistry, Unregister_RemovesIdentityAndKeepsClassKey)
{
    Register(kAumid, ThisExecutableFolder() + L"notification_icon.png");

    EXPECT_NO_THROW(NotifierIdentity::Unregister());

    EXPECT_FALSE(UserKeyExists(AumidKey(kAumid)));
    ExpectUserString(LocalServerKey(kClsidText), nullptr, ActivationCommand(ThisExecutablePath()));
    const std::vector<JournalRecord> records = m_journal.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].fields,
              (std::vector<std::wstring>{records[0].fields[0], L"GetScheduledToastNotifications", kAumid}));
    EXPECT_EQ(records[1].fields, (std::vector<std::wstring>{records[1].fields[0], L"ClearWithId", kAumid}));
}

TEST_F(NotifierIdentityRegistry, Unregister_TwiceRaisesNothingAndFindsNothingMore)
{
    Register(kAumid, L"");

    EXPECT_NO_THROW(NotifierIdentity::Unregister());
    EXPECT_NO_THROW(NotifierIdentity::Unregister());

    EXPECT_FALSE(UserKeyExists(AumidKey(kAumid)));
    EXPECT_TRUE(UserKeyExists(LocalServerKey(kClsidText)));
    const std::vector<JournalRecord> records = m_journal.Records();
    ASSERT_EQ(records.size(), 4u);
    for (size_t index = 0; index < records.size(); ++index)
    {
        EXPECT_EQ(records[index].Call(), index % 2 == 0 ? L"GetScheduledToastNotifications" : L"ClearWithId");
        EXPECT_EQ(records[index].AppId(), kAumid);
    }
}

TEST_F(NotifierIdentityRegistry, Unregister_RemovesEveryScheduledToast)
{
    const std::wstring aumid = L"Tessaly.VoltwrenScheduled";
    const ScopedEnvironment scheduled(L"VWN_TOAST_SCHEDULED", L"3");
    Register(aumid, L"");

    NotifierIdentity::Unregister();
    NotifierIdentity::Unregister();

    std::vector<std::vector<std::wstring>> calls;
    for (const JournalRecord& record : m_journal.Records())
    {
        calls.emplace_back(record.fields.begin() + 1, record.fields.end());
    }
    const std::vector<std::vector<std::wstring>> expected = {
        {L"GetScheduledToastNotifications", aumid},
        {L"RemoveFromSchedule", aumid, L"scheduled-1"},
        {L"RemoveFromSchedule", aumid, L"scheduled-2"},
        {L"RemoveFromSchedule", aumid, L"scheduled-3"},
        {L"ClearWithId", aumid},
        // The second time the schedule is empty.
        {L"GetScheduledToastNotifications", aumid},
        {L"ClearWithId", aumid},
    };
    EXPECT_EQ(calls, expected);
}

TEST_F(NotifierIdentityRegistry, Unregister_BeforeAnyRegistrationDoesNothing)
{
    // Only a fresh process has never registered.
    EXPECT_EQ(RunChildTests(L"NotifierIdentityChild.DISABLED_UnregisterWithoutRegistration"), 0);
    EXPECT_FALSE(m_journal.Exists());
}

TEST_F(NotifierIdentityRegistry, Register_QuotesAProgramPathWithBlanks)
{
    const std::wstring aumid = L"Tessaly.VoltwrenBlankFolder";
    const std::wstring clsidText = NotifierIdentity::ClsidTextFromAumid(aumid);
    m_written.push_back(aumid);
    const std::wstring folder = TempFilePath(L"folder with blanks", L"") + L"\\";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring copy = folder + L"Voltwren test program.exe";
    ASSERT_TRUE(CopyFileW(ThisExecutablePath().c_str(), copy.c_str(), TRUE));

    const int exitCode = RunChildTests(L"NotifierIdentityChild.DISABLED_RegisterBlankFolderIdentity", copy);

    DeleteFileW(copy.c_str());
    RemoveDirectoryW(folder.c_str());
    EXPECT_EQ(exitCode, 0);
    ExpectUserString(LocalServerKey(clsidText), nullptr, ActivationCommand(copy));
}

// Run only as children of the tests above.
TEST(NotifierIdentityChild, DISABLED_UnregisterWithoutRegistration)
{
    EXPECT_NO_THROW(NotifierIdentity::Unregister());
    EXPECT_NO_THROW(NotifierIdentity::Unregister());
}

TEST(NotifierIdentityChild, DISABLED_RegisterBlankFolderIdentity)
{
    EXPECT_NO_THROW(NotifierIdentity::Register(L"Tessaly.VoltwrenBlankFolder", kDisplayName, L""));
}

} // namespace
