#include "toast/ActivationFactoryCache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <numeric>
#include <mutex>
#include <thread>

namespace
{

// Counts its references and is never freed, so the test can look at it afterwards.
struct CountedFactory : IUnknown
{
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    std::atomic<ULONG> refs{1};
};
std::deque<CountedFactory> g_fetched;
std::mutex g_fetchedLock;
std::atomic<int> g_fetches{0};

// A new factory on every fetch, or a failure for class "missing"; slow, so that racing callers meet.
HRESULT FetchNew(const wchar_t* className, REFIID, void** factory)
{
    Sleep(20);
    ++g_fetches;
    const std::lock_guard<std::mutex> lock(g_fetchedLock);
    *factory = std::wstring(className) == L"missing" ? nullptr : &g_fetched.emplace_back();
    return *factory == nullptr ? REGDB_E_CLASSNOTREG : S_OK;
}

TEST(ActivationFactoryCache, Get_KeepsOneFactoryPerClassAndInterfaceForEveryCaller)
{
    ActivationFactoryCache cache(FetchNew);
    std::vector<void*> got(8);
    std::vector<std::thread> threads;
    for (void*& factory : got)
    {
        threads.emplace_back([&] { EXPECT_EQ(cache.Get(L"A", IID_IUnknown, &factory), S_OK); });
    }
    std::for_each(threads.begin(), threads.end(), [](std::thread& thread) { thread.join(); });
    // Racing callers share one factory, which the cache holds too; every duplicate was given back.
    EXPECT_EQ(std::count(got.begin(), got.end(), got[0]), 8);
    EXPECT_EQ(static_cast<CountedFactory*>(static_cast<IUnknown*>(got[0]))->refs, 9u);
    EXPECT_EQ(std::accumulate(g_fetched.begin(), g_fetched.end(), 0ul,
                              [](ULONG sum, const CountedFactory& f) { return sum + f.refs; }),
              9ul);

    // A failure is not kept; another interface is a factory of its own.
    void* factory = &got;
    const int fetches = g_fetches;
    EXPECT_EQ(cache.Get(L"missing", IID_IUnknown, &factory), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(factory, nullptr);
    cache.Get(L"missing", IID_IUnknown, &factory);
    EXPECT_EQ(cache.Get(L"A", IID_IClassFactory, &factory), S_OK);
    EXPECT_NE(factory, got[0]);
    EXPECT_EQ(g_fetches, fetches + 3);
}

} // namespace
