#include "app/CadencePolicy.h"
#include "support/BoundRecordingLog.h"

#include <gtest/gtest.h>

// The policy key is machine-wide and shared with the system tests: these read a scratch key.
class CadencePolicyTest : public ::testing::Test
{
protected:
    static std::wstring Line(const std::wstring& text) { return L"[Voltwren][ReadCadencePolicy] " + text; }
    static std::wstring Fault(const std::wstring& text)
    {
        return Line(L"@@@@@ Policy value " + text + L" !!! @@@@@");
    }
    void Set(const wchar_t* name, DWORD data) { key.Set(name, data); }
    std::vector<std::wstring> Read(const std::wstring& subKey = kScratchKey)
    {
        policy = ReadCadencePolicy(HKEY_CURRENT_USER, subKey.c_str());
        return log.Texts();
    }
    std::pair<DWORD, DWORD> Ms() const { return {policy.settleAfterMs, policy.settledPollMs}; }

    static constexpr const wchar_t* kScratchKey = L"Software\\Voltwren-CadencePolicyTest";
    BoundRecordingLog log;
    ScopedRegistryKey key{HKEY_CURRENT_USER, kScratchKey};
    CadencePolicy policy;
};

TEST_F(CadencePolicyTest, ValuesInRange_AreTaken)
{
    Set(L"SettleAfterSeconds", 86400);
    Set(L"SettledPollSeconds", 2);
    EXPECT_EQ(Line(L"Policy: settle after 86400 s, then a reading every 2 s."), Read().back());
    EXPECT_EQ(std::make_pair(86400000ul, 2000ul), Ms());
    Set(L"SettleAfterSeconds", 0);
    Set(L"SettledPollSeconds", 300);
    EXPECT_EQ(Line(L"Policy: detection never settles."), Read().back());
    EXPECT_EQ(std::make_pair(0ul, 300000ul), Ms());
}

TEST_F(CadencePolicyTest, MissingOrBadValues_GiveDefaults_BadOnesWithTheirLine)
{
    EXPECT_TRUE(Read(std::wstring(kScratchKey) + L"\\absent").empty());
    Set(L"SettleAfterSeconds", 86401);
    Set(L"SettledPollSeconds", 1);
    Read();
    // The number as text, as "reg add" writes it without /t.
    RegSetValueExW(key.Get(), L"SettleAfterSeconds", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"60"),
                   sizeof(L"60"));
    RegDeleteValueW(key.Get(), L"SettledPollSeconds");
    const std::vector<std::wstring> expected = {
        Fault(L"SettleAfterSeconds is 86401, outside 0 to 86400: the default 120 s is used"),
        Fault(L"SettledPollSeconds is 1, outside 2 to 300: the default 15 s is used"),
        Line(L"Policy: settle after 120 s, then a reading every 15 s."),
        Fault(L"SettleAfterSeconds is REG_SZ of 6 bytes, not a REG_DWORD: the default 120 s is used"),
        Line(L"Policy: settle after 120 s, then a reading every 15 s.")};
    EXPECT_EQ(expected, Read());
    EXPECT_EQ(std::make_pair(120000ul, 15000ul), Ms());
}
