#pragma once

#include <windows.h>

#include <gtest/gtest.h>

inline bool IsWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// True under Wine, where `gap` keeps the platform from doing what Windows does;
// the test's output then names the gap, as Wine's own todo_wine does.
inline bool WineGap(const char* gap)
{
    if (!IsWine())
    {
        return false;
    }
    ::testing::Test::RecordProperty("wine_gap", gap);
    return true;
}

// Ends the test here under Wine, naming the gap that makes the rest Windows-only.
#define SKIP_ON_WINE(gap)                                                                                    \
    if (WineGap(gap))                                                                                        \
    GTEST_SKIP() << "Wine: " << (gap)
