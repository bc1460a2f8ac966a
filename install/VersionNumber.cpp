#include "install/VersionNumber.h"

#include "logging/ApacheLogger.h"
#include "logging/LastErrorText.h"
#include "base/UniqueHandle.h"

#include <windows.h>

#include <mutex>
#include <vector>

namespace
{
const char* const kUninstallPrefix = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char* const kDependenciesPrefix = "SOFTWARE\\Classes\\Installer\\Dependencies\\";
const char* const kNoVersion = "NaN";

// The installer is 32-bit: a 64-bit build must look at the same registry view.
#ifdef _WIN64
const REGSAM kReadAccess = KEY_READ | KEY_WOW64_32KEY;
#else
const REGSAM kReadAccess = KEY_READ;
#endif

struct VersionCache
{
    std::recursive_mutex lock;
    std::string text;
};

// Never destroyed: a detection thread that did not end may still log while the process exits.
VersionCache& Cache()
{
    static VersionCache* const cache = new VersionCache;
    return *cache;
}

bool IsStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Reads a string value up to its first zero byte; stored data without a terminator still ends.
bool ReadStringValue(HKEY key, const char* valueName, std::string& text)
{
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        !IsStringType(type))
    {
        return false;
    }
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
        ERROR_SUCCESS)
    {
        return false;
    }
    text = buffer.data();
    return true;
}

// The registry returns its code instead of setting the thread's: the caller gets it as a value.
LSTATUS OpenProductKey(const std::string& path, UniqueRegistryKey& key, bool detailedLog)
{
    const LSTATUS status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, kReadAccess, key.Put());
    if (status == ERROR_SUCCESS && detailedLog)
    {
        OutputDebugStringA(path.c_str());
    }
    return status;
}

void Lookup(std::string& cache, bool detailedLog)
{
    const std::string uninstallKey = std::string(kUninstallPrefix) + kProductKeyName;
    const std::string dependencyKey = std::string(kDependenciesPrefix) + kProductKeyName;

    UniqueRegistryKey key;
    const char* valueName = "DisplayVersion";
    if (OpenProductKey(uninstallKey, key, detailedLog) != ERROR_SUCCESS)
    {
        valueName = "Version";
        const LSTATUS status = OpenProductKey(dependencyKey, key, detailedLog);
        if (status != ERROR_SUCCESS)
        {
            // Filled before the line is written, so its own logger fetch finds a version.
            cache = kNoVersion;
            VWN_LOGW(L"[Voltwren][getVersionNumber] %ws", LastErrorText(static_cast<DWORD>(status)).c_str());
            return;
        }
    }
    if (!ReadStringValue(key.Get(), valueName, cache))
    {
        cache = kNoVersion;
    }
}
} // namespace

std::string getVersionNumber(bool detailedLog)
{
    VersionCache& cache = Cache();
    // Re-entrant: the failure line's logger fetch comes back here on the same thread.
    std::lock_guard<std::recursive_mutex> guard(cache.lock);
    if (cache.text.empty())
    {
        Lookup(cache.text, detailedLog);
    }
    return cache.text;
}
