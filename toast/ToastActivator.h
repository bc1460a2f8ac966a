#pragma once

#include "toast/WinRtAbi.h"

#include <windows.h>
#include <unknwn.h>

#include <atomic>

// The toast activator's COM classes. The program takes no action on an
// activation: the class exists so that a click on one of its toasts succeeds
// and can start the program. Both objects are agile: COM calls them on
// threads of its own choosing, and they touch nothing but their own counts.
// Each starts with one reference, owned by whoever called `new`.

class ToastActivatorFactory final : public IClassFactory
{
public:
    ToastActivatorFactory() = default;
    ToastActivatorFactory(const ToastActivatorFactory&) = delete;
    ToastActivatorFactory& operator=(const ToastActivatorFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** result) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    ~ToastActivatorFactory();

    std::atomic<ULONG> m_refs{1};
    // The aggregated free-threaded marshaler, made on the first request for IMarshal.
    std::atomic<IUnknown*> m_marshaler{nullptr};
};

class ToastActivator final : public WinRtAbi::INotificationActivationCallback
{
public:
    ToastActivator() = default;
    ToastActivator(const ToastActivator&) = delete;
    ToastActivator& operator=(const ToastActivator&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** result) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Activate(LPCWSTR appUserModelId, LPCWSTR invokedArgs,
                                       const WinRtAbi::NOTIFICATION_USER_INPUT_DATA* data,
                                       ULONG count) override;

private:
    ~ToastActivator();

    std::atomic<ULONG> m_refs{1};
    std::atomic<IUnknown*> m_marshaler{nullptr};
};
