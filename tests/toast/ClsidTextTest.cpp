#include "toast/NotifierIdentity.h"

#include <gtest/gtest.h>

#include <objbase.h>

namespace
{

// Exactly 16 units, all below 0x100, print as the short form (two hex digits
// per unit); anything else takes the FNV-1a hash form.
TEST(ClsidTextFromAumid, GivesShortOrHashFormAndAUsableClassId)
{
    const struct
    {
        std::wstring aumid;
        size_t units;
        const wchar_t* expected;
    } cases[] = {
        {L"Sample.App.Ident", 16, L"53616d70-6c65-2e41-7070-2e4964656e74"},
        // 0xFF is still narrow.
        {L"Sample.App.Iden\u00ff", 16, L"53616d70-6c65-2e41-7070-2e4964656eff"},
        // Two hex digits no longer hold 0x144.
        {L"Sample.App.Ide\u0144t", 16, L"29483988-6900-0000-0000-000000000000"},
        {L"Sample.App.Idents", 17, L"35773773-3100-0000-0000-000000000000"},
        // The short form would read past the end.
        {L"Sample.App.Iden", 15, L"25396268-7600-0000-0000-000000000000"},
        {L"", 0, L"21661362-6100-0000-0000-000000000000"},
        {L"Sample.Notifier.App", 19, L"15498653-1000-0000-0000-000000000000"},
        // The program's own identifier; its hash has only eight digits.
        {L"Tessaly.VoltwrenPowerBeacon", 27, L"90015346-0000-0000-0000-000000000000"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(::testing::Message() << "expected " << std::string(c.expected, c.expected + 36));
        ASSERT_EQ(c.aumid.size(), c.units);
        const std::wstring text = NotifierIdentity::ClsidTextFromAumid(c.aumid);
        EXPECT_EQ(text, c.expected);
        CLSID clsid = {};
        EXPECT_EQ(CLSIDFromString((L"{" + text + L"}").c_str(), &clsid), NOERROR);
    }
}

} // namespace
