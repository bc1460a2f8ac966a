#include "base/BuiltSid.h"
#include "base/UniqueHandle.h"

#include <gtest/gtest.h>

namespace
{
bool IsOpen(HANDLE handle)
{
    DWORD flags = 0;
    return GetHandleInformation(handle, &flags) != FALSE;
}
} // namespace

TEST(UniqueHandleTest, EachKindKnowsItsOwnEmptyValue)
{
    const UniqueFile missing(CreateFileW(L"C:\\no such folder\\no such file", GENERIC_READ, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
    EXPECT_FALSE(missing);
    EXPECT_EQ(INVALID_HANDLE_VALUE, missing.Get());
    // Null is not the empty value of a file handle.
    UniqueFile null(nullptr);
    EXPECT_TRUE(null.IsValid());
    null.Release();
    EXPECT_FALSE(UniqueHandle());
    EXPECT_EQ(nullptr, UniqueHandle().Get());
}

TEST(UniqueHandleTest, Reset_ClosesOnceAndKeepsTheLastErrorCode)
{
    UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const HANDLE first = event.Get();
    ASSERT_TRUE(IsOpen(first));

    SetLastError(0xDEADBEEF);
    event.Reset();
    EXPECT_EQ(0xDEADBEEFu, GetLastError());
    EXPECT_FALSE(IsOpen(first));

    // The value is free again and may come back for a new object: a second Reset must not close it.
    const UniqueHandle second(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    event.Reset();
    EXPECT_TRUE(IsOpen(second.Get()));
}

TEST(UniqueHandleTest, MoveHandsOverWithoutClosing)
{
    UniqueHandle from(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const HANDLE raw = from.Get();
    UniqueHandle to;
    to = std::move(from);
    EXPECT_FALSE(from);
    EXPECT_EQ(raw, to.Get());
    EXPECT_TRUE(IsOpen(raw));
}

TEST(UniqueHandleTest, BuiltSid_MatchesTheSystemsSidAndAFailedBuildMatchesNothing)
{
    BYTE world[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof(world);
    ASSERT_TRUE(CreateWellKnownSid(WinWorldSid, nullptr, world, &size));
    SID_IDENTIFIER_AUTHORITY worldAuthority = SECURITY_WORLD_SID_AUTHORITY;
    EXPECT_TRUE(BuiltSid(worldAuthority, 1, SECURITY_WORLD_RID).Equals(world));
    // A SID holds at most eight parts.
    const BuiltSid tooLong(worldAuthority, 9, SECURITY_WORLD_RID);
    EXPECT_FALSE(tooLong.IsBuilt());
    EXPECT_FALSE(tooLong.Equals(world));
}

TEST(UniqueHandleTest, ProcessInformation_ClosesBothOnceAndKeepsTheLastErrorCode)
{
    UniqueProcessInformation info;
    // Two events stand in for the process and thread handles.
    PROCESS_INFORMATION* raw = info.Put();
    raw->hProcess = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    raw->hThread = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE process = info.Process();
    const HANDLE thread = info.Thread();

    SetLastError(0xDEADBEEF);
    info.Reset();
    EXPECT_EQ(0xDEADBEEFu, GetLastError());
    EXPECT_FALSE(IsOpen(process));
    EXPECT_FALSE(IsOpen(thread));
    EXPECT_FALSE(info.IsValid());

    const UniqueHandle reused(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    info.Reset();
    EXPECT_TRUE(IsOpen(reused.Get()));
}
