#include "toast/NotifierIdentity.h"
#include "toast/ToastNotification.h"

#include "ToastTestSupport.h"
#include "support/BoundRecordingLog.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <atomic>
#include <algorithm>
#include <thread>

namespace
{

using namespace ToastTest;

constexpr wchar_t kAumid[] = L"Tessaly.VoltwrenPowerBeacon";
constexpr wchar_t kTitle[] = L"Fast Charge Mode On";
constexpr wchar_t kUsbPdBody[] = L"Charging with USB Power Delivery (USB PD) technology.";
constexpr wchar_t kQuickChargeBody[] = L"Charging with Quick Charge (QC) technology.";
constexpr wchar_t kNoApartmentAumid[] = L"Tessaly.VoltwrenNoApartment";

// The toast document as the platform must receive it: the template with its
// runs of blanks, two text lines and the image's source, all XML-escaped.
// The stand-in's serializer writes an element without content as <text/>.
std::wstring ExpectedToastXml(const std::wstring& title, const std::wstring& body, const std::wstring& source)
{
    const auto text = [](const std::wstring& t)
    { return t.empty() ? L"<text/>" : L"<text>" + t + L"</text>"; };
    return L"<toast>        <visual>            <binding template=\"ToastGeneric\">                " +
           text(title) + L"                " + text(body) +
           L"                <image placement=\"appLogoOverride\" hint-crop=\"circle\" src=\"" + source +
           L"\"/>            </binding>        </visual>    </toast>";
}

QUERY_USER_NOTIFICATION_STATE g_userState = QUNS_ACCEPTS_NOTIFICATIONS;

HRESULT WINAPI QueryUserState(QUERY_USER_NOTIFICATION_STATE* state)
{
    *state = g_userState;
    return S_OK;
}

HRESULT RaisedByShow(const std::wstring& body, const std::wstring& icon)
{
    return RaisedCode([&] { ShowToastNotification(kTitle, body, icon); });
}

class ToastDisplay : public ::testing::Test
{
protected:
    void SetUp() override { NotifierIdentity::Register(kAumid, L"Tessaly Voltwren", m_icon); }
    void TearDown() override { ForgetIdentity(kAumid); }

    ScopedJournal m_journal{L"display"};
    const std::wstring m_icon = BinFolder() + L"notification_icon.png";
};

// Each call shows one toast; markup characters stay text, an empty body
// stays empty and the image path is handed over unchanged, even one that is not there.
TEST_F(ToastDisplay, ShowToastNotification_SendsEachToastInTheTemplate)
{
    const std::wstring missingIcon = L"C:\\Program Files\\Tessaly\\Voltwren\\no such icon.png";
    const struct
    {
        std::wstring title, body, icon, escapedTitle, escapedBody;
    } cases[] = {
        {kTitle, kUsbPdBody, m_icon, kTitle, kUsbPdBody},
        {kTitle, kQuickChargeBody, m_icon, kTitle, kQuickChargeBody},
        {L"Fast <Charge> & \"Mode\"", L"</text><text>x</text>&amp;", m_icon,
         L"Fast &lt;Charge&gt; &amp; \"Mode\"", L"&lt;/text&gt;&lt;text&gt;x&lt;/text&gt;&amp;amp;"},
        {kTitle, L"", m_icon, kTitle, L""},
        {kTitle, kUsbPdBody, missingIcon, kTitle, kUsbPdBody},
    };
    std::vector<JournalCall> expected;
    for (const auto& c : cases)
    {
        ShowToastNotification(c.title, c.body, c.icon);
        expected.push_back(
            {L"Show", kAumid, L"registered=1", ExpectedToastXml(c.escapedTitle, c.escapedBody, c.icon)});
    }
    EXPECT_EQ(m_journal.Calls(), expected);
}

TEST_F(ToastDisplay, ShowToastNotification_RaisesTheCodeOfARefusedToast)
{
    const std::wstring switchFile = TempFilePath(L"fail");
    const ScopedEnvironment failSwitch(L"VWN_TOAST_FAIL_FILE", switchFile);
    const HANDLE file = CreateFileW(switchFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "0x80070005", 10, &written, nullptr);
    CloseHandle(file);

    EXPECT_EQ(RaisedByShow(kUsbPdBody, m_icon), E_ACCESSDENIED);
    // Switched off again, the next toast goes through.
    ASSERT_TRUE(DeleteFileW(switchFile.c_str()));
    EXPECT_EQ(RaisedByShow(kQuickChargeBody, m_icon), S_OK);

    EXPECT_EQ(m_journal.Calls(),
              (std::vector<JournalCall>{
                  {L"ShowRefused", kAumid, L"0x80070005", ExpectedToastXml(kTitle, kUsbPdBody, m_icon)},
                  {L"Show", kAumid, L"registered=1", ExpectedToastXml(kTitle, kQuickChargeBody, m_icon)}}));
}

// Concurrent callers leave whole records, one per toast.
TEST_F(ToastDisplay, ShowToastNotification_RecordsEveryToastOfConcurrentCallers)
{
    std::vector<JournalCall> expected;
    for (int toast = 0; toast < 100; ++toast)
    {
        expected.push_back({L"Show", kAumid, L"registered=1",
                            ExpectedToastXml(kTitle, L"toast " + std::to_wstring(toast), m_icon)});
    }
    // The first code a caller met, so that a failure names its cause.
    std::atomic<HRESULT> failure{S_OK};
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread)
    {
        threads.emplace_back(
            [this, thread, &failure]
            {
                for (int toast = thread; toast < 100; toast += 4)
                {
                    HRESULT none = S_OK;
                    failure.compare_exchange_strong(none,
                                                    RaisedByShow(L"toast " + std::to_wstring(toast), m_icon));
                }
            });
    }
    for (std::thread& thread : threads)
    {
        thread.join();
    }
    EXPECT_EQ(failure.load(), S_OK) << std::hex << failure.load();
    std::vector<JournalCall> calls = m_journal.Calls();
    std::sort(calls.begin(), calls.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(calls, expected);
}

// The platform notes a toast whose identity has no registry key.
TEST_F(ToastDisplay, ShowToastNotification_IsMarkedWhenTheIdentityIsGone)
{
    NotifierIdentity::Unregister();
    DeleteFileW(m_journal.path.c_str());
    ShowToastNotification(kTitle, kUsbPdBody, m_icon);
    EXPECT_EQ(m_journal.Calls(), (std::vector<JournalCall>{{L"Show", kAumid, L"registered=0",
                                                            ExpectedToastXml(kTitle, kUsbPdBody, m_icon)}}));
}

TEST_F(ToastDisplay, CreateNotifier_GivesANewEnabledNotifierEachTime)
{
    const ComPtr<WinRtAbi::IToastNotifier> first = NotifierIdentity::CreateNotifier();
    const ComPtr<WinRtAbi::IToastNotifier> second = NotifierIdentity::CreateNotifier();
    ASSERT_TRUE(first);
    ASSERT_TRUE(second);
    EXPECT_NE(first.Get(), second.Get());
    WinRtAbi::NotificationSetting setting = WinRtAbi::NotificationSetting_DisabledByManifest;
    EXPECT_EQ(first->get_Setting(&setting), S_OK);
    EXPECT_EQ(setting, WinRtAbi::NotificationSetting_Enabled);
}

// Windows' answer under Wine is fixed: the user's state comes through the seam.
// A busy user gets the toast in the notification centre only; the log says so.
TEST_F(ToastDisplay, ShowToastNotification_NamesABusyUserStateAndShowsAllTheSame)
{
    BoundRecordingLog log;
    SetUserNotificationStateQuery(QueryUserState);
    for (const auto state : {QUNS_PRESENTATION_MODE, QUNS_ACCEPTS_NOTIFICATIONS, QUNS_QUIET_TIME})
    {
        g_userState = state;
        EXPECT_EQ(RaisedByShow(kUsbPdBody, m_icon), S_OK);
    }
    SetUserNotificationStateQuery(nullptr);
    const std::wstring line =
        L"[Voltwren][ShowToastNotification] The toast is shown to the notification centre only: ";
    EXPECT_EQ(log.Texts(),
              (std::vector<std::wstring>{line + L"QUNS_PRESENTATION_MODE.", line + L"QUNS_QUIET_TIME."}));
    EXPECT_EQ(m_journal.Calls().size(), 3u);
}

// The stand-in's switches for what Windows keeps out of a test's reach.
constexpr wchar_t kStandInKey[] = L"Software\\VoltwrenToastPlatform";

// Windows 11's modes that hold toasts back are named, one newer than the list by its
// number; Unrestricted is not, nor a Windows without such modes (no mode value).
TEST_F(ToastDisplay, ShowToastNotification_NamesANotificationModeThatHoldsToastsBack)
{
    BoundRecordingLog log;
    EXPECT_EQ(RaisedByShow(kUsbPdBody, m_icon), S_OK);
    for (const DWORD mode : {0u, 1u, 2u, 7u})
    {
        const ScopedUserDword value(kStandInKey, L"NotificationMode", mode);
        EXPECT_EQ(RaisedByShow(kUsbPdBody, m_icon), S_OK);
    }
    const std::wstring line =
        L"[Voltwren][ShowToastNotification] Windows may hold the toast back: NotificationMode ";
    EXPECT_EQ(log.Texts(),
              (std::vector<std::wstring>{line + L"PriorityOnly.", line + L"AlarmsOnly.", line + L"7."}));
    EXPECT_EQ(m_journal.Calls().size(), 5u);
}

// A notifier that cannot tell its setting is named once per run; the toasts still go out.
TEST_F(ToastDisplay, ShowToastNotification_NamesAFailedSettingOncePerRun)
{
    BoundRecordingLog log;
    {
        const ScopedUserDword failure(kStandInKey, L"SettingFailure", 0x80070490);
        EXPECT_EQ(RaisedByShow(kUsbPdBody, m_icon), S_OK);
        EXPECT_EQ(RaisedByShow(kQuickChargeBody, m_icon), S_OK);
    }
    EXPECT_EQ(
        log.Texts(),
        (std::vector<std::wstring>{
            L"[Voltwren][ShowToastNotification] @@@@@ Unable to read the NotificationSetting, HRESULT(0x80070490) !!! @@@@@"}));
    EXPECT_EQ(m_journal.Calls().size(), 2u);
}

// A thread outside every apartment, in a process whose multithreaded
// apartment is gone, still shows its toast: the process joins one for good.
TEST_F(ToastDisplay, ShowToastNotification_JoinsTheApartmentWhenNoneExists)
{
    EXPECT_EQ(RunChildTests(L"ToastDisplayChild.DISABLED_ShowWithoutApartment"), 0);
    ForgetIdentity(kNoApartmentAumid);
    EXPECT_EQ(m_journal.Calls(), (std::vector<JournalCall>{{L"Show", kNoApartmentAumid, L"registered=1",
                                                            ExpectedToastXml(kTitle, kUsbPdBody, L"")}}));
}

TEST(ToastDisplayChild, DISABLED_ShowWithoutApartment)
{
    // Register from a thread that then leaves the apartment, taking it away.
    std::thread registering(
        []
        {
            NotifierIdentity::Register(kNoApartmentAumid, L"Tessaly Voltwren", L"");
            CoUninitialize();
        });
    registering.join();
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    ASSERT_EQ(CoGetApartmentType(&type, &qualifier), CO_E_NOTINITIALIZED);

    EXPECT_EQ(RaisedByShow(kUsbPdBody, L""), S_OK);

    ASSERT_EQ(CoGetApartmentType(&type, &qualifier), S_OK);
    EXPECT_EQ(type, APTTYPE_MTA);
    EXPECT_EQ(qualifier, APTTYPEQUALIFIER_IMPLICIT_MTA);
}

} // namespace
