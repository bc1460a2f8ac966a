// Runs in a Wine prefix where no toast platform is registered.

#include "toast/NotifierIdentity.h"
#include "toast/ToastNotification.h"

#include "ToastTestSupport.h"

#include <gtest/gtest.h>

namespace
{

using namespace ToastTest;

constexpr wchar_t kAumid[] = L"Tessaly.VoltwrenPowerBeacon";

class ToastPlatformAbsent : public ::testing::Test
{
protected:
    void SetUp() override { NotifierIdentity::Register(kAumid, L"Tessaly Voltwren", L""); }
    void TearDown() override { ForgetIdentity(kAumid); }
};

TEST_F(ToastPlatformAbsent, ShowAndCreateNotifier_RaiseClassNotRegistered)
{
    EXPECT_EQ(RaisedCode([] { ShowToastNotification(L"Fast Charge Mode On", L"body", L"C:\\icon.png"); }),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(RaisedCode([] { NotifierIdentity::CreateNotifier(); }), REGDB_E_CLASSNOTREG);
}

// Schedule and history fail; the registry step after them still runs.
TEST_F(ToastPlatformAbsent, Unregister_SwallowsFailuresAndStillRemovesTheIdentity)
{
    ASSERT_TRUE(ReadUserKey(AumidKey(kAumid)).has_value());
    EXPECT_NO_THROW(NotifierIdentity::Unregister());
    EXPECT_FALSE(ReadUserKey(AumidKey(kAumid)).has_value());
}

} // namespace
