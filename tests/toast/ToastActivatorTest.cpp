#include "toast/ToastActivator.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace
{

using WinRtAbi::INotificationActivationCallback;
using WinRtAbi::NOTIFICATION_USER_INPUT_DATA;

// A pointer that no successful or failing call may leave behind.
void* const kCanary = reinterpret_cast<void*>(static_cast<uintptr_t>(0xDEADBEEF));

class ToastActivator : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        m_factory = new ToastActivatorFactory();
        void* created = kCanary;
        ASSERT_EQ(m_factory->CreateInstance(nullptr, __uuidof(INotificationActivationCallback), &created),
                  S_OK);
        m_activator = static_cast<INotificationActivationCallback*>(created);
        ASSERT_NE(m_activator, nullptr);
    }
    void TearDown() override
    {
        // The last references: every reference a test took has been given back.
        if (m_activator != nullptr)
        {
            EXPECT_EQ(m_activator->Release(), 0u);
        }
        EXPECT_EQ(m_factory->Release(), 0u);
        CoUninitialize();
    }

    ToastActivatorFactory* m_factory = nullptr;
    INotificationActivationCallback* m_activator = nullptr;
};

// A new object on every call, its only reference the caller's.
TEST_F(ToastActivator, CreateInstance_GivesANewObjectOnEveryCall)
{
    std::vector<IUnknown*> objects{m_activator};
    for (const IID& iid : {__uuidof(IUnknown), __uuidof(INotificationActivationCallback),
                           __uuidof(INotificationActivationCallback)})
    {
        void* created = kCanary;
        ASSERT_EQ(m_factory->CreateInstance(nullptr, iid, &created), S_OK);
        ASSERT_NE(created, nullptr);
        EXPECT_EQ(std::count(objects.begin(), objects.end(), created), 0);
        objects.push_back(static_cast<IUnknown*>(created));
    }
    for (size_t index = 1; index < objects.size(); ++index)
    {
        EXPECT_EQ(objects[index]->Release(), 0u);
    }
}

TEST_F(ToastActivator, CreateInstance_RefusesAggregationAndOtherInterfacesWithANullResult)
{
    void* result = kCanary;
    EXPECT_EQ(m_factory->CreateInstance(m_factory, __uuidof(IUnknown), &result), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(result, nullptr);
    for (const IID& iid : {__uuidof(IClassFactory), __uuidof(IDispatch), __uuidof(IPersist)})
    {
        result = kCanary;
        EXPECT_EQ(m_factory->CreateInstance(nullptr, iid, &result), E_NOINTERFACE);
        EXPECT_EQ(result, nullptr);
    }
}

TEST_F(ToastActivator, ActivateAndLockServer_SucceedWhateverTheyAreGiven)
{
    EXPECT_EQ(m_activator->Activate(nullptr, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(m_activator->Activate(L"", L"", nullptr, 0), S_OK);
    std::vector<NOTIFICATION_USER_INPUT_DATA> input(4096, NOTIFICATION_USER_INPUT_DATA{L"key", L"value"});
    EXPECT_EQ(m_activator->Activate(L"Tessaly.VoltwrenPowerBeacon", L"action=open", input.data(),
                                    static_cast<ULONG>(input.size())),
              S_OK);
    EXPECT_EQ(m_factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(m_factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(m_factory->LockServer(FALSE), S_OK);
}

// Both classes: IUnknown, their own interface, IAgileObject and an aggregated
// IMarshal, all with one identity; a null result and E_NOINTERFACE for anything else.
TEST_F(ToastActivator, QueryInterface_AnswersAsAnAgileObject)
{
    const struct
    {
        IUnknown* object;
        IID own;
        IID refused;
    } cases[] = {
        {m_factory, __uuidof(IClassFactory), __uuidof(INotificationActivationCallback)},
        {m_activator, __uuidof(INotificationActivationCallback), __uuidof(IClassFactory)},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.object == m_factory ? "factory" : "activator");
        for (const IID& iid : {__uuidof(IUnknown), c.own, __uuidof(IAgileObject), __uuidof(IMarshal)})
        {
            void* result = kCanary;
            ASSERT_EQ(c.object->QueryInterface(iid, &result), S_OK);
            IUnknown* identity = nullptr;
            ASSERT_EQ(static_cast<IUnknown*>(result)->QueryInterface(__uuidof(IUnknown),
                                                                     reinterpret_cast<void**>(&identity)),
                      S_OK);
            EXPECT_EQ(identity, c.object);
            identity->Release();
            if (iid == __uuidof(IMarshal))
            {
                CLSID unmarshaler = {};
                EXPECT_EQ(static_cast<IMarshal*>(result)->GetUnmarshalClass(
                              c.own, c.object, MSHCTX_INPROC, nullptr, MSHLFLAGS_NORMAL, &unmarshaler),
                          S_OK);
            }
            static_cast<IUnknown*>(result)->Release();
        }
        for (const IID& iid : {c.refused, __uuidof(IDispatch), __uuidof(IStream), __uuidof(IInspectable)})
        {
            void* result = kCanary;
            EXPECT_EQ(c.object->QueryInterface(iid, &result), E_NOINTERFACE);
            EXPECT_EQ(result, nullptr);
        }
        EXPECT_EQ(c.object->QueryInterface(__uuidof(IUnknown), nullptr), E_POINTER);
    }
}

TEST_F(ToastActivator, AddRefAndRelease_CountExactlyUnderConcurrentUse)
{
    EXPECT_EQ(m_activator->AddRef(), 2u);
    EXPECT_EQ(m_activator->AddRef(), 3u);
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread)
    {
        threads.emplace_back(
            [this]
            {
                for (int round = 0; round < 20000; ++round)
                {
                    m_activator->AddRef();
                    m_activator->Release();
                }
            });
    }
    for (std::thread& thread : threads)
    {
        thread.join();
    }
    EXPECT_EQ(m_activator->Release(), 2u);
    EXPECT_EQ(m_activator->Release(), 1u);
}

// The free-threaded marshaler makes no proxy: another apartment gets the same pointer.
TEST_F(ToastActivator, Marshal_CrossesApartmentsWithoutProxy)
{
    IStream* stream = nullptr;
    ASSERT_EQ(CoMarshalInterThreadInterfaceInStream(__uuidof(INotificationActivationCallback), m_activator,
                                                    &stream),
              S_OK);
    void* received = nullptr;
    HRESULT unmarshalled = E_FAIL;
    std::thread singleThreaded(
        [&]
        {
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            unmarshalled =
                CoGetInterfaceAndReleaseStream(stream, __uuidof(INotificationActivationCallback), &received);
            if (SUCCEEDED(unmarshalled))
            {
                static_cast<INotificationActivationCallback*>(received)->Activate(L"", L"", nullptr, 0);
                static_cast<INotificationActivationCallback*>(received)->Release();
            }
            CoUninitialize();
        });
    singleThreaded.join();
    EXPECT_EQ(unmarshalled, S_OK);
    EXPECT_EQ(received, m_activator);
}

} // namespace
