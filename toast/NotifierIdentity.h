#pragma once

#include <string>

// Gives the unpackaged process an application user model identity that the
// toast platform knows (registry under HKEY_CURRENT_USER, activator class
// object), and takes it away again. Static operations on process-wide state.
class NotifierIdentity
{
public:
    // Raises WinRtError when joining the apartment or converting the class id fails.
    static void Register(std::wstring aumid, std::wstring displayName, std::wstring iconPath);
    // Best effort; raises nothing and may run any number of times.
    static void Unregister();
    static bool HasPackageIdentity();
    // 36 characters, no braces.
    static std::wstring ClsidTextFromAumid(const std::wstring& aumid);
    static std::wstring RegisterActivator();
    static void SetUserRegistryString(const std::wstring& subKey, const std::wstring& valueName,
                                      const std::wstring& data);
};
