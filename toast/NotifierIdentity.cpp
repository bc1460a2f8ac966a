#include "toast/NotifierIdentity.h"

#include "toast/ToastActivator.h"
#include "toast/WinRtSupport.h"

#include <windows.h>
#include <objbase.h>

#include "logging/DebuggerLine.h"

#include <cstdint>
#include <cwchar>
#include <exception>
#include <vector>

std::wstring NotifierIdentity::s_aumid;
bool NotifierIdentity::s_registered = false;
bool NotifierIdentity::s_identityTested = false;
bool NotifierIdentity::s_hasPackageIdentity = false;

namespace
{

constexpr wchar_t kAumidKeyPrefix[] = L"SOFTWARE\\Classes\\AppUserModelId\\";
constexpr wchar_t kClsidKeyPrefix[] = L"SOFTWARE\\Classes\\CLSID\\{";
constexpr wchar_t kLocalServerKeySuffix[] = L"}\\LocalServer32";
constexpr wchar_t kActivationArgument[] = L"-ToastActivated";
// Opaque light grey behind the round logo, in the ARGB hex form the shell reads.
constexpr wchar_t kIconBackgroundColor[] = L"FFDDDDDD";
constexpr wchar_t kShortClsidFormat[] =
    L"%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x";

// The platform's longest package family name plus the terminator.
constexpr UINT32 kPackageFamilyNameCapacity = 65;
constexpr size_t kShortClsidUnits = 16;
constexpr size_t kClsidTextLength = 36;
constexpr size_t kFirstModulePathCapacity = 100;

constexpr std::uint32_t kFnvOffsetBasis = 2166136261u;
constexpr std::uint32_t kFnvPrime = 16777619u;

using GetPackageFamilyNameFunction = LONG(WINAPI*)(HANDLE process, UINT32* length, PWSTR name);

bool IsDashPosition(size_t position)
{
    return position == 8 || position == 13 || position == 18 || position == 23;
}

// Printing two hex digits per unit is only exact for units below 0x100, and
// only 16 of them fill the 36 characters.
bool FitsShortClsidForm(const std::wstring& aumid)
{
    if (aumid.size() != kShortClsidUnits)
    {
        return false;
    }
    for (const wchar_t unit : aumid)
    {
        if (static_cast<unsigned>(unit) >= 0x100)
        {
            return false;
        }
    }
    return true;
}

std::wstring ShortClsidText(const std::wstring& aumid)
{
    unsigned units[kShortClsidUnits];
    for (size_t i = 0; i < kShortClsidUnits; ++i)
    {
        units[i] = static_cast<unsigned>(aumid[i]);
    }
    wchar_t buffer[40];
    std::swprintf(buffer, sizeof(buffer) / sizeof(buffer[0]), kShortClsidFormat, units[0], units[1], units[2],
                  units[3], units[4], units[5], units[6], units[7], units[8], units[9], units[10], units[11],
                  units[12], units[13], units[14], units[15]);
    return buffer;
}

// FNV-1a over the UTF-16 little-endian bytes, its decimal digits spread over
// the 32 hex positions of a class id and padded with "0".
std::wstring HashedClsidText(const std::wstring& aumid)
{
    std::uint32_t hash = kFnvOffsetBasis;
    for (const wchar_t unit : aumid)
    {
        const unsigned value = static_cast<unsigned>(unit);
        hash = (hash ^ (value & 0xFFu)) * kFnvPrime;
        hash = (hash ^ ((value >> 8) & 0xFFu)) * kFnvPrime;
    }
    const std::wstring digits = std::to_wstring(hash);
    std::wstring text(kClsidTextLength, L'0');
    size_t nextDigit = 0;
    for (size_t position = 0; position < kClsidTextLength; ++position)
    {
        if (IsDashPosition(position))
        {
            text[position] = L'-';
        }
        else if (nextDigit < digits.size())
        {
            text[position] = digits[nextDigit++];
        }
    }
    return text;
}

std::wstring ProgramPath()
{
    std::vector<wchar_t> buffer(kFirstModulePathCapacity);
    DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    while (length + 1 > buffer.size())
    {
        buffer.resize(buffer.size() * 2);
        length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    }
    return std::wstring(buffer.data(), length);
}

} // namespace

bool NotifierIdentity::HasPackageIdentity()
{
    if (s_identityTested)
    {
        return s_hasPackageIdentity;
    }
    // Windows before 8 lacks the function, and so any package identity.
    bool hasIdentity = false;
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    const FARPROC procedure =
        kernel32 != nullptr ? GetProcAddress(kernel32, "GetPackageFamilyName") : nullptr;
    if (procedure != nullptr)
    {
        const auto getPackageFamilyName =
            reinterpret_cast<GetPackageFamilyNameFunction>(reinterpret_cast<void*>(procedure));
        wchar_t familyName[kPackageFamilyNameCapacity];
        UINT32 length = kPackageFamilyNameCapacity;
        hasIdentity = getPackageFamilyName(GetCurrentProcess(), &length, familyName) == ERROR_SUCCESS;
    }
    s_hasPackageIdentity = hasIdentity;
    s_identityTested = true;
    return s_hasPackageIdentity;
}

void NotifierIdentity::Register(std::wstring aumid, std::wstring displayName, std::wstring iconPath)
{
    if (HasPackageIdentity())
    {
        return;
    }
    s_aumid = std::move(aumid);
    // The class object and its start command exist before the identity names them.
    const std::wstring clsidText = RegisterActivator();

    const std::wstring key = kAumidKeyPrefix + s_aumid;
    SetUserRegistryString(key, L"DisplayName", displayName);
    if (!iconPath.empty())
    {
        SetUserRegistryString(key, L"IconUri", iconPath);
    }
    else
    {
        // A value left by an earlier run with an icon must not outlive it; absence is fine.
        RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"IconUri");
    }
    SetUserRegistryString(key, L"IconBackgroundColor", kIconBackgroundColor);
    SetUserRegistryString(key, L"CustomActivator", L"{" + clsidText + L"}");
    s_registered = true;
}

std::wstring NotifierIdentity::RegisterActivator()
{
    // S_FALSE (already in the apartment) passes; the thread never leaves it.
    ThrowIfFailed(CoInitializeEx(nullptr, COINIT_MULTITHREADED));

    const std::wstring clsidText = ClsidTextFromAumid(s_aumid);
    const std::wstring bracedClsid = L"{" + clsidText + L"}";
    CLSID clsid = {};
    ThrowIfFailed(CLSIDFromString(bracedClsid.c_str(), &clsid));

    // Registered for the life of the process, never revoked: the cookie is not kept.
    ToastActivatorFactory* factory = new ToastActivatorFactory();
    DWORD cookie = 0;
    const HRESULT registered =
        CoRegisterClassObject(clsid, factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    factory->Release();
    if (FAILED(registered))
    {
        // Toasts still show; only a click on one cannot reach this process.
        DebuggerLine(
            L"[NotifierIdentity][NotifierIdentity::RegisterActivator] @@@@@ CoRegisterClassObject failed (0x%08lX) !!! (output via OutputDebugString())\n",
            static_cast<unsigned long>(registered));
    }

    const std::wstring command = L"\"" + ProgramPath() + L"\" " + kActivationArgument;
    SetUserRegistryString(kClsidKeyPrefix + clsidText + kLocalServerKeySuffix, L"", command);
    return clsidText;
}

std::wstring NotifierIdentity::ClsidTextFromAumid(const std::wstring& aumid)
{
    return FitsShortClsidForm(aumid) ? ShortClsidText(aumid) : HashedClsidText(aumid);
}

void NotifierIdentity::SetUserRegistryString(const std::wstring& subKey, const std::wstring& valueName,
                                             const std::wstring& data)
{
    const DWORD size = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    const LSTATUS status =
        RegSetKeyValueW(HKEY_CURRENT_USER, subKey.c_str(), valueName.empty() ? nullptr : valueName.c_str(),
                        REG_SZ, data.c_str(), size);
    if (status != ERROR_SUCCESS)
    {
        DebuggerLine(
            L"[NotifierIdentity][NotifierIdentity::SetUserRegistryString] @@@@@ Writing \"%ls\" of \"%ls\" failed (%ld) !!! (output via OutputDebugString())\n",
            valueName.c_str(), subKey.c_str(), static_cast<long>(status));
    }
}

ComPtr<WinRtAbi::IToastNotifier> NotifierIdentity::CreateNotifier()
{
    const auto manager = GetActivationFactory<WinRtAbi::IToastNotificationManagerStatics>(
        WinRtAbi::kToastNotificationManagerClass);
    ComPtr<WinRtAbi::IToastNotifier> notifier;
    if (HasPackageIdentity())
    {
        ThrowIfFailed(manager->CreateToastNotifier(notifier.Put()));
    }
    else
    {
        const HString aumid(s_aumid);
        ThrowIfFailed(manager->CreateToastNotifierWithId(aumid.Get(), notifier.Put()));
    }
    return RequireObject(notifier);
}

void NotifierIdentity::Unregister()
{
    if (HasPackageIdentity() || !s_registered)
    {
        return;
    }
    s_registered = false;
    // Each step ends at its own first error; the next one still runs.
    RemoveScheduledToasts();
    ClearHistory();
    DeleteIdentityKey();
}

void NotifierIdentity::RemoveScheduledToasts()
{
    try
    {
        const ComPtr<WinRtAbi::IToastNotifier> notifier = CreateNotifier();
        ComPtr<WinRtAbi::IScheduledToastNotificationVectorView> scheduled;
        ThrowIfFailed(notifier->GetScheduledToastNotifications(scheduled.Put()));
        RequireObject(scheduled);
        for (UINT32 index = 0;; ++index)
        {
            UINT32 size = 0;
            ThrowIfFailed(scheduled->get_Size(&size));
            if (index >= size)
            {
                break;
            }
            ComPtr<WinRtAbi::IScheduledToastNotification> toast;
            HRESULT hr = scheduled->GetAt(index, toast.Put());
            if (SUCCEEDED(hr))
            {
                hr = notifier->RemoveFromSchedule(toast.Get());
            }
            if (FAILED(hr))
            {
                DebuggerLine(
                    L"[NotifierIdentity][NotifierIdentity::Unregister] @@@@@ Removing scheduled toast %u failed (0x%08lX) !!! (output via OutputDebugString())\n",
                    index, static_cast<unsigned long>(hr));
            }
        }
    }
    catch (const std::exception& error)
    {
        DebuggerLine(
            L"[NotifierIdentity][NotifierIdentity::Unregister] @@@@@ Removing scheduled toasts failed (%hs) !!! (output via OutputDebugString())\n",
            error.what());
    }
}

void NotifierIdentity::ClearHistory()
{
    try
    {
        const auto manager = GetActivationFactory<WinRtAbi::IToastNotificationManagerStatics2>(
            WinRtAbi::kToastNotificationManagerClass);
        ComPtr<WinRtAbi::IToastNotificationHistory> history;
        ThrowIfFailed(manager->get_History(history.Put()));
        RequireObject(history);
        const HString aumid(s_aumid);
        ThrowIfFailed(history->ClearWithId(aumid.Get()));
    }
    catch (const std::exception& error)
    {
        DebuggerLine(
            L"[NotifierIdentity][NotifierIdentity::Unregister] @@@@@ Clearing the toast history failed (%hs) !!! (output via OutputDebugString())\n",
            error.what());
    }
}

void NotifierIdentity::DeleteIdentityKey()
{
    const std::wstring key = kAumidKeyPrefix + s_aumid;
    const LSTATUS status = RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
    {
        DebuggerLine(
            L"[NotifierIdentity][NotifierIdentity::Unregister] @@@@@ Deleting \"%ls\" failed (%ld) !!! (output via OutputDebugString())\n",
            key.c_str(), static_cast<long>(status));
    }
}
