// Runs in a Wine prefix where no toast platform is registered.

#include "toast/NotifierIdentity.h"
#include "toast/ToastNotification.h"
#include "toast/WinRtError.h"

#include "ToastTestSupport.h"

#include <gtest/gtest.h>

#include <objbase.h>

namespace
{

using namespace ToastTest;

constexpr wchar_t kAumid[] = L"Tessaly.VoltwrenPowerBeacon";

template <typename Call> HRESULT RaisedCode(Call call)
{
    try
    {
        call();
    }
    catch (const WinRtError& error)
    {
        return error.Code();
    }
    return S_OK;
}

class ToastPlatformAbsent : public ::testing::Test
{
protected:
    void SetUp() override { NotifierIdentity::Register(kAumid, L"Tessaly Voltwren", L""); }
    void TearDown() override
    {
        DeleteUserTree(AumidKey(kAumid));
        DeleteUserTree(ClsidKey(NotifierIdentity::ClsidTextFromAumid(kAumid)));
    }
};

TEST_F(ToastPlatformAbsent, ShowToastNotification_RaisesClassNotRegistered)
{
    EXPECT_EQ(RaisedCode(
                  []
                  {
                      ShowToastNotification(L"Fast Charge Mode On",
                                            L"Charging with Quick Charge (QC) technology.",
                                            L"C:\\notification_icon.png");
                  }),
              REGDB_E_CLASSNOTREG);
}

TEST_F(ToastPlatformAbsent, CreateNotifier_RaisesClassNotRegistered)
{
    EXPECT_EQ(RaisedCode([] { NotifierIdentity::CreateNotifier(); }), REGDB_E_CLASSNOTREG);
}

// Schedule and history fail; the registry step after them still runs.
TEST_F(ToastPlatformAbsent, Unregister_SwallowsFailuresAndStillRemovesTheIdentity)
{
    ASSERT_TRUE(UserKeyExists(AumidKey(kAumid)));
    EXPECT_NO_THROW(NotifierIdentity::Unregister());
    EXPECT_FALSE(UserKeyExists(AumidKey(kAumid)));
}

} // namespace
