#include "toast/ToastActivator.h"

#include <gtest/gtest.h>

#include <objbase.h>

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
        m_factory = new callback_factory();
    }
    void TearDown() override
    {
        // The last reference: the count the factory reports is the count it had.
        EXPECT_EQ(m_factory->Release(), 0u);
        CoUninitialize();
    }

    INotificationActivationCallback* NewCallback()
    {
        void* created = kCanary;
        EXPECT_EQ(m_factory->CreateInstance(nullptr, __uuidof(INotificationActivationCallback), &created),
                  S_OK);
        return static_cast<INotificationActivationCallback*>(created);
    }

    callback_factory* m_factory = nullptr;
};

TEST_F(ToastActivator, CreateInstance_RefusesAggregation)
{
    IUnknown* outer = m_factory;
    void* result = kCanary;
    EXPECT_EQ(m_factory->CreateInstance(outer, __uuidof(IUnknown), &result), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(result, nullptr);
}

TEST_F(ToastActivator, CreateInstance_GivesUnknownAndActivationCallback)
{
    void* unknown = kCanary;
    ASSERT_EQ(m_factory->CreateInstance(nullptr, __uuidof(IUnknown), &unknown), S_OK);
    ASSERT_NE(unknown, nullptr);
    ASSERT_NE(unknown, kCanary);

    INotificationActivationCallback* activator = NewCallback();
    ASSERT_NE(activator, nullptr);
    // The caller holds the only reference: the factory kept none.
    EXPECT_EQ(static_cast<IUnknown*>(unknown)->Release(), 0u);
    EXPECT_EQ(activator->Release(), 0u);
}

TEST_F(ToastActivator, CreateInstance_RefusesClassFactoryAndUnknownInterfaces)
{
    for (const IID& iid : {__uuidof(IClassFactory), __uuidof(IDispatch), __uuidof(IPersist)})
    {
        void* result = kCanary;
        EXPECT_EQ(m_factory->CreateInstance(nullptr, iid, &result), E_NOINTERFACE);
        EXPECT_EQ(result, nullptr);
    }
}

TEST_F(ToastActivator, CreateInstance_GivesDistinctObjectsOnEveryCall)
{
    std::vector<INotificationActivationCallback*> activators;
    for (int call = 0; call < 8; ++call)
    {
        activators.push_back(NewCallback());
        ASSERT_NE(activators.back(), nullptr);
        for (size_t earlier = 0; earlier + 1 < activators.size(); ++earlier)
        {
            EXPECT_NE(activators[earlier], activators.back());
        }
    }
    for (INotificationActivationCallback* activator : activators)
    {
        EXPECT_EQ(activator->Release(), 0u);
    }
}

TEST_F(ToastActivator, Activate_SucceedsWhateverItIsGiven)
{
    INotificationActivationCallback* activator = NewCallback();
    ASSERT_NE(activator, nullptr);
    EXPECT_EQ(activator->Activate(nullptr, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(activator->Activate(L"", L"", nullptr, 0), S_OK);

    std::vector<NOTIFICATION_USER_INPUT_DATA> input(4096, NOTIFICATION_USER_INPUT_DATA{L"key", L"value"});
    EXPECT_EQ(activator->Activate(L"Tessaly.VoltwrenPowerBeacon", L"action=open", input.data(),
                                  static_cast<ULONG>(input.size())),
              S_OK);
    EXPECT_EQ(activator->Release(), 0u);
}

TEST_F(ToastActivator, LockServer_SucceedsEitherWay)
{
    EXPECT_EQ(m_factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(m_factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(m_factory->LockServer(FALSE), S_OK);
}

// Both classes: IUnknown, their own interface, IAgileObject and IMarshal; a
// null result and E_NOINTERFACE for anything else.
void ExpectAgileObject(IUnknown* object, const IID& own, const IID& refused)
{
    for (const IID& iid : {__uuidof(IUnknown), own, __uuidof(IAgileObject)})
    {
        void* result = kCanary;
        ASSERT_EQ(object->QueryInterface(iid, &result), S_OK);
        // One object, one identity: every interface leads back to the same IUnknown.
        IUnknown* identity = nullptr;
        ASSERT_EQ(static_cast<IUnknown*>(result)->QueryInterface(__uuidof(IUnknown),
                                                                 reinterpret_cast<void**>(&identity)),
                  S_OK);
        EXPECT_EQ(identity, object);
        identity->Release();
        static_cast<IUnknown*>(result)->Release();
    }

    IMarshal* marshal = nullptr;
    ASSERT_EQ(object->QueryInterface(__uuidof(IMarshal), reinterpret_cast<void**>(&marshal)), S_OK);
    ASSERT_NE(marshal, nullptr);
    // The marshaler is aggregated: it answers for the object, not for itself.
    IUnknown* identity = nullptr;
    ASSERT_EQ(marshal->QueryInterface(__uuidof(IUnknown), reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, object);
    identity->Release();
    CLSID unmarshaler = {};
    EXPECT_EQ(marshal->GetUnmarshalClass(own, object, MSHCTX_INPROC, nullptr, MSHLFLAGS_NORMAL, &unmarshaler),
              S_OK);
    marshal->Release();

    for (const IID& iid : {refused, __uuidof(IDispatch), __uuidof(IStream), __uuidof(IInspectable)})
    {
        void* result = kCanary;
        EXPECT_EQ(object->QueryInterface(iid, &result), E_NOINTERFACE);
        EXPECT_EQ(result, nullptr);
    }
    EXPECT_EQ(object->QueryInterface(__uuidof(IUnknown), nullptr), E_POINTER);
}

TEST_F(ToastActivator, QueryInterface_AnswersAsAnAgileFactory)
{
    ExpectAgileObject(m_factory, __uuidof(IClassFactory), __uuidof(INotificationActivationCallback));
}

TEST_F(ToastActivator, QueryInterface_AnswersAsAnAgileCallback)
{
    INotificationActivationCallback* activator = NewCallback();
    ASSERT_NE(activator, nullptr);
    ExpectAgileObject(activator, __uuidof(INotificationActivationCallback), __uuidof(IClassFactory));
    // Every reference the checks took has been given back.
    EXPECT_EQ(activator->Release(), 0u);
}

TEST_F(ToastActivator, AddRefAndRelease_CountFromOne)
{
    INotificationActivationCallback* activator = NewCallback();
    ASSERT_NE(activator, nullptr);
    EXPECT_EQ(activator->AddRef(), 2u);
    EXPECT_EQ(activator->AddRef(), 3u);
    EXPECT_EQ(activator->Release(), 2u);
    EXPECT_EQ(activator->Release(), 1u);
    EXPECT_EQ(activator->Release(), 0u);
}

TEST_F(ToastActivator, AddRefAndRelease_StayExactUnderConcurrentUse)
{
    INotificationActivationCallback* activator = NewCallback();
    ASSERT_NE(activator, nullptr);
    constexpr int kThreads = 4;
    constexpr int kRounds = 20000;
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread)
    {
        threads.emplace_back(
            [activator]
            {
                for (int round = 0; round < kRounds; ++round)
                {
                    activator->AddRef();
                    activator->Release();
                }
            });
    }
    for (std::thread& thread : threads)
    {
        thread.join();
    }
    EXPECT_EQ(activator->Release(), 0u);
}

// A pointer marshalled from one apartment arrives in another as the same
// pointer: the free-threaded marshaler makes no proxy.
TEST_F(ToastActivator, Marshal_CrossesApartmentsWithoutProxy)
{
    INotificationActivationCallback* activator = NewCallback();
    ASSERT_NE(activator, nullptr);
    IStream* stream = nullptr;
    ASSERT_EQ(
        CoMarshalInterThreadInterfaceInStream(__uuidof(INotificationActivationCallback), activator, &stream),
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
    EXPECT_EQ(received, activator);
    EXPECT_EQ(activator->Release(), 0u);
}

} // namespace
