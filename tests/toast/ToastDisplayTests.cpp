#include "toast/NotifierIdentity.h"
#include "toast/ToastNotification.h"
#include "toast/WinRtError.h"

#include "ToastTestSupport.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <atomic>
#include <regex>
#include <set>
#include <thread>

namespace
{

using namespace ToastTest;

constexpr wchar_t kAumid[] = L"Tessaly.VoltwrenPowerBeacon";
constexpr wchar_t kTitle[] = L"Fast Charge Mode On";
constexpr wchar_t kUsbPdBody[] = L"Charging with USB Power Delivery (USB PD) technology.";
constexpr wchar_t kQuickChargeBody[] = L"Charging with Quick Charge (QC) technology.";
constexpr wchar_t kNoApartmentAumid[] = L"Tessaly.VoltwrenNoApartment";

std::wstring TextElement(const std::wstring& escapedText)
{
    // The stand-in's serializer writes an element without content in its short form.
    return escapedText.empty() ? L"<text/>" : L"<text>" + escapedText + L"</text>";
}

// The toast document as the platform must receive it: the template with its
// runs of blanks, two text lines and the image's source, XML-escaped.
std::wstring ExpectedToastXml(const std::wstring& title, const std::wstring& body, const std::wstring& source)
{
    return L"<toast>        <visual>            <binding template=\"ToastGeneric\">                " +
           TextElement(title) + L"                " + TextElement(body) +
           L"                <image placement=\"appLogoOverride\" hint-crop=\"circle\" src=\"" + source +
           L"\"/>            </binding>        </visual>    </toast>";
}

class ToastDisplay : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_icon = ThisExecutableFolder() + L"notification_icon.png";
        NotifierIdentity::Register(kAumid, L"Tessaly Voltwren", m_icon);
    }
    void TearDown() override
    {
        DeleteUserTree(AumidKey(kAumid));
        DeleteUserTree(ClsidKey(NotifierIdentity::ClsidTextFromAumid(kAumid)));
    }

    // The one Show record the journal must hold.
    void ExpectShown(const std::wstring& xml, const wchar_t* registered = L"registered=1")
    {
        const std::vector<JournalRecord> records = m_journal.Records();
        ASSERT_EQ(records.size(), 1u);
        ASSERT_EQ(records[0].fields.size(), 5u);
        EXPECT_TRUE(std::regex_match(records[0].fields[0],
                                     std::wregex(L"\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}")))
            << records[0].fields[0];
        EXPECT_EQ(records[0].Call(), L"Show");
        EXPECT_EQ(records[0].AppId(), kAumid);
        EXPECT_EQ(records[0].fields[3], registered);
        EXPECT_EQ(records[0].fields[4], xml);
    }

    ScopedJournal m_journal{L"display"};
    std::wstring m_icon;
};

TEST_F(ToastDisplay, ShowToastNotification_SendsUsbPdToastInTheTemplate)
{
    ShowToastNotification(kTitle, kUsbPdBody, m_icon);
    ExpectShown(ExpectedToastXml(kTitle, kUsbPdBody, m_icon));
}

TEST_F(ToastDisplay, ShowToastNotification_SendsQuickChargeToastInTheTemplate)
{
    ShowToastNotification(kTitle, kQuickChargeBody, m_icon);
    ExpectShown(ExpectedToastXml(kTitle, kQuickChargeBody, m_icon));
}

TEST_F(ToastDisplay, ShowToastNotification_KeepsMarkupCharactersAsText)
{
    ShowToastNotification(L"Fast <Charge> & \"Mode\"", L"</text><text>x</text>&amp;", m_icon);
    // Still exactly two text lines and one image: nothing became markup.
    ExpectShown(ExpectedToastXml(L"Fast &lt;Charge&gt; &amp; \"Mode\"",
                                 L"&lt;/text&gt;&lt;text&gt;x&lt;/text&gt;&amp;amp;", m_icon));
}

TEST_F(ToastDisplay, ShowToastNotification_LeavesAnEmptyBodyLineEmpty)
{
    ShowToastNotification(kTitle, L"", m_icon);
    ExpectShown(ExpectedToastXml(kTitle, L"", m_icon));
}

TEST_F(ToastDisplay, ShowToastNotification_HandsTheImagePathOverUnchanged)
{
    // No existence test and no file URI: a path that is not there arrives as given.
    const std::wstring path = L"C:\\Program Files\\Tessaly\\Voltwren\\no such icon.png";
    ShowToastNotification(kTitle, kUsbPdBody, path);
    ExpectShown(ExpectedToastXml(kTitle, kUsbPdBody, path));
}

TEST_F(ToastDisplay, ShowToastNotification_TwoCallsShowTwoToasts)
{
    ShowToastNotification(kTitle, kQuickChargeBody, m_icon);
    ShowToastNotification(kTitle, kUsbPdBody, m_icon);

    const std::vector<JournalRecord> records = m_journal.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Call(), L"Show");
    EXPECT_EQ(records[0].fields.at(4), ExpectedToastXml(kTitle, kQuickChargeBody, m_icon));
    EXPECT_EQ(records[1].Call(), L"Show");
    EXPECT_EQ(records[1].fields.at(4), ExpectedToastXml(kTitle, kUsbPdBody, m_icon));
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

    HRESULT raised = S_OK;
    try
    {
        ShowToastNotification(kTitle, kUsbPdBody, m_icon);
    }
    catch (const WinRtError& error)
    {
        raised = error.Code();
    }
    EXPECT_EQ(raised, E_ACCESSDENIED);

    // Switched off again, the next toast goes through.
    ASSERT_TRUE(DeleteFileW(switchFile.c_str()));
    EXPECT_NO_THROW(ShowToastNotification(kTitle, kQuickChargeBody, m_icon));

    const std::vector<JournalRecord> records = m_journal.Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].fields,
              (std::vector<std::wstring>{records[0].fields[0], L"ShowRefused", kAumid, L"0x80070005",
                                         ExpectedToastXml(kTitle, kUsbPdBody, m_icon)}));
    EXPECT_EQ(records[1].Call(), L"Show");
}

// Several threads showing toasts at once leave whole records, one per toast.
TEST_F(ToastDisplay, ShowToastNotification_RecordsEveryToastOfConcurrentCallers)
{
    constexpr int kThreads = 4;
    constexpr int kToastsPerThread = 25;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int thread = 0; thread < kThreads; ++thread)
    {
        threads.emplace_back(
            [this, thread, &failures]
            {
                for (int toast = 0; toast < kToastsPerThread; ++toast)
                {
                    try
                    {
                        ShowToastNotification(kTitle, L"toast " + std::to_wstring(thread * 100 + toast),
                                              m_icon);
                    }
                    catch (const WinRtError&)
                    {
                        ++failures;
                    }
                }
            });
    }
    for (std::thread& thread : threads)
    {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);

    std::set<std::wstring> seen;
    const std::vector<JournalRecord> records = m_journal.Records();
    ASSERT_EQ(records.size(), static_cast<size_t>(kThreads * kToastsPerThread));
    for (const JournalRecord& record : records)
    {
        ASSERT_EQ(record.fields.size(), 5u);
        seen.insert(record.fields[4]);
    }
    for (int thread = 0; thread < kThreads; ++thread)
    {
        for (int toast = 0; toast < kToastsPerThread; ++toast)
        {
            const std::wstring body = L"toast " + std::to_wstring(thread * 100 + toast);
            EXPECT_EQ(seen.count(ExpectedToastXml(kTitle, body, m_icon)), 1u) << body;
        }
    }
}

// The platform notes a toast whose identity has no registry key.
TEST_F(ToastDisplay, ShowToastNotification_IsMarkedWhenTheIdentityIsGone)
{
    NotifierIdentity::Unregister();
    const std::wstring afterUnregister = m_journal.Path();
    DeleteFileW(afterUnregister.c_str());

    ShowToastNotification(kTitle, kUsbPdBody, m_icon);
    ExpectShown(ExpectedToastXml(kTitle, kUsbPdBody, m_icon), L"registered=0");
}

TEST_F(ToastDisplay, CreateNotifier_GivesANewNotifierEachTime)
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

// A thread outside every apartment, in a process whose multithreaded
// apartment is gone, still shows its toast: the process joins one for good.
TEST_F(ToastDisplay, ShowToastNotification_JoinsTheApartmentWhenNoneExists)
{
    EXPECT_EQ(RunChildTests(L"ToastDisplayChild.DISABLED_ShowWithoutApartment"), 0);
    DeleteUserTree(AumidKey(kNoApartmentAumid));
    DeleteUserTree(ClsidKey(NotifierIdentity::ClsidTextFromAumid(kNoApartmentAumid)));

    const std::vector<JournalRecord> records = m_journal.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].fields,
              (std::vector<std::wstring>{records[0].fields[0], L"Show", kNoApartmentAumid, L"registered=1",
                                         ExpectedToastXml(kTitle, kUsbPdBody, L"")}));
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

    EXPECT_NO_THROW(ShowToastNotification(kTitle, kUsbPdBody, L""));

    ASSERT_EQ(CoGetApartmentType(&type, &qualifier), S_OK);
    EXPECT_EQ(type, APTTYPE_MTA);
    EXPECT_EQ(qualifier, APTTYPEQUALIFIER_IMPLICIT_MTA);
}

} // namespace
