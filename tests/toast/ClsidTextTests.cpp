#include "toast/NotifierIdentity.h"

#include <gtest/gtest.h>

#include <objbase.h>

namespace
{

// Every class id text is 36 characters with dashes at 8, 13, 18 and 23 and
// makes a class id once wrapped in braces.
void ExpectUsableClsidText(const std::wstring& text)
{
    SCOPED_TRACE(::testing::Message() << "class id text " << std::string(text.begin(), text.end()));
    ASSERT_EQ(text.size(), 36u);
    for (size_t position = 0; position < text.size(); ++position)
    {
        const bool dash = position == 8 || position == 13 || position == 18 || position == 23;
        EXPECT_EQ(text[position] == L'-', dash) << "position " << position;
    }
    CLSID clsid = {};
    EXPECT_EQ(CLSIDFromString((L"{" + text + L"}").c_str(), &clsid), NOERROR);
}

TEST(ClsidTextFromAumid, ShortFormForSixteenNarrowUnits)
{
    const std::wstring text = NotifierIdentity::ClsidTextFromAumid(L"Sample.App.Ident");
    EXPECT_EQ(text, L"53616d70-6c65-2e41-7070-2e4964656e74");
    ExpectUsableClsidText(text);
}

TEST(ClsidTextFromAumid, HashFormForLongerIdentifiers)
{
    EXPECT_EQ(NotifierIdentity::ClsidTextFromAumid(L"Sample.Notifier.App"),
              L"15498653-1000-0000-0000-000000000000");
    ExpectUsableClsidText(NotifierIdentity::ClsidTextFromAumid(L"Sample.Notifier.App"));

    // Seventeen units: one past the short form.
    EXPECT_EQ(NotifierIdentity::ClsidTextFromAumid(L"Sample.App.Idents"),
              L"35773773-3100-0000-0000-000000000000");
    ExpectUsableClsidText(NotifierIdentity::ClsidTextFromAumid(L"Sample.App.Idents"));

    // The program's own identifier; its hash has only eight digits.
    EXPECT_EQ(NotifierIdentity::ClsidTextFromAumid(L"Tessaly.VoltwrenPowerBeacon"),
              L"90015346-0000-0000-0000-000000000000");
}

// The short form would read past the end of a shorter identifier.
TEST(ClsidTextFromAumid, HashFormForFewerThanSixteenUnits)
{
    EXPECT_EQ(NotifierIdentity::ClsidTextFromAumid(L"Sample.App.Iden"),
              L"25396268-7600-0000-0000-000000000000");
    ExpectUsableClsidText(NotifierIdentity::ClsidTextFromAumid(L"Sample.App.Iden"));
    EXPECT_EQ(NotifierIdentity::ClsidTextFromAumid(L""), L"21661362-6100-0000-0000-000000000000");
}

// Two hex digits no longer hold a unit of 0x100 or more.
TEST(ClsidTextFromAumid, HashFormForSixteenUnitsWithAWideOne)
{
    const std::wstring aumid = L"Sample.App.Ide\u0144t";
    ASSERT_EQ(aumid.size(), 16u);
    EXPECT_EQ(NotifierIdentity::ClsidTextFromAumid(aumid), L"29483988-6900-0000-0000-000000000000");
    ExpectUsableClsidText(NotifierIdentity::ClsidTextFromAumid(aumid));
}

// Unit 0xFF is still narrow: the short form prints it as "ff".
TEST(ClsidTextFromAumid, ShortFormKeepsUnitsUpTo0xFF)
{
    const std::wstring aumid = L"Sample.App.Iden\u00ff";
    EXPECT_EQ(NotifierIdentity::ClsidTextFromAumid(aumid), L"53616d70-6c65-2e41-7070-2e4964656eff");
    ExpectUsableClsidText(NotifierIdentity::ClsidTextFromAumid(aumid));
}

} // namespace
