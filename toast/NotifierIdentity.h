#pragma once

#include "toast/ComPtr.h"
#include "toast/WinRtAbi.h"

#include <string>

// Gives the unpackaged process an application user model identity that the
// toast platform knows (registry under HKEY_CURRENT_USER, activator class
// object), and takes it away again. Static operations on process-wide state,
// written on the main thread before the detection thread starts.
class NotifierIdentity
{
public:
    // Raises WinRtError when joining the apartment or converting the class id fails.
    static void Register(std::wstring aumid, std::wstring displayName, std::wstring iconPath);
    // Best effort; raises nothing. Removes the identity at most once per Register:
    // a later call must not remove what a newer instance registered meanwhile.
    static void Unregister();
    static bool HasPackageIdentity();
    // 36 characters, no braces.
    static std::wstring ClsidTextFromAumid(const std::wstring& aumid);
    // Joins the multithreaded apartment, registers the activator's class object
    // and its start command; returns the class id text. Raises WinRtError.
    static std::wstring RegisterActivator();
    static void SetUserRegistryString(const std::wstring& subKey, const std::wstring& valueName,
                                      const std::wstring& data);
    // A new notifier on every call: the package's own, or the registered identifier's.
    // Raises WinRtError with the platform's code.
    static ComPtr<WinRtAbi::IToastNotifier> CreateNotifier();

private:
    static void RemoveScheduledToasts();
    static void ClearHistory();
    static void DeleteIdentityKey();

    static std::wstring s_aumid;
    static bool s_registered;
    static bool s_identityTested;
    static bool s_hasPackageIdentity;
};
