#include "logbackend/core/FileLock.h"
#include "base/UniqueHandle.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

#include <thread>

using vwnlog::FileLock;

namespace
{
HANDLE OpenShared(const std::wstring& path)
{
    return CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(FileLockTest, Lock_FollowsTheFileNotItsNameAndWaitsForTheHolder)
{
    TempFolder folder(L"vwn-logtest");
    const std::wstring path = folder / L"x.log";
    // Two spellings of one file: a lock keyed by name would not see the other.
    const UniqueFile first(OpenShared(path));
    const UniqueFile second(OpenShared(L"\\\\?\\" + path));
    ASSERT_TRUE(first && second);

    const UniqueHandle held(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    volatile LONG released = 0;
    std::thread holder(
        [&]()
        {
            const FileLock lock(first.Get());
            EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), lock.Result());
            SetEvent(held.Get());
            Sleep(200);
            InterlockedExchange(&released, 1);
        });
    WaitForSingleObject(held.Get(), INFINITE);
    {
        const FileLock lock(second.Get());
        EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), lock.Result());
        EXPECT_EQ(1, released) << "taken while the other handle held it";
    }
    holder.join();
}
} // namespace
