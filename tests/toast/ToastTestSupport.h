#pragma once

#include "support/ScopedState.h"
#include "support/TestFolders.h"
#include "toast/WinRtError.h"

#include <windows.h>

#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

// Helpers for the toast tests: the stand-in platform's journal, per-user
// registry values, and runs of this same test executable as a child process
// (for state that only a fresh process has).

namespace ToastTest
{

// A journal record's fields after its time, e.g. {L"ClearWithId", aumid}.
using JournalCall = std::vector<std::wstring>;

// A fresh name in the temporary folder (nothing is created).
std::wstring TempFilePath(const std::wstring& hint, const std::wstring& extension = L".txt");
std::wstring ThisExecutablePath();

// A DWORD under HKEY_CURRENT_USER while the object lives, then removed.
struct ScopedUserDword
{
    ScopedUserDword(std::wstring subKey, const wchar_t* valueName, DWORD data)
        : key(std::move(subKey)), name(valueName)
    {
        RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), valueName, REG_DWORD, &data, sizeof(data));
    }
    ~ScopedUserDword() { RegDeleteKeyValueW(HKEY_CURRENT_USER, key.c_str(), name.c_str()); }
    ScopedUserDword(const ScopedUserDword&) = delete;
    const std::wstring key, name;
};

// VWN_TOAST_JOURNAL names a fresh file in the temporary folder while the object lives; the file goes with it.
struct ScopedJournal
{
    explicit ScopedJournal(const std::wstring& hint) : path(TempFilePath(hint)) { DeleteFileW(path.c_str()); }
    ~ScopedJournal() { DeleteFileW(path.c_str()); }
    bool Exists() const { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
    // Every record, in order; one that is not UTF-8, LF-ended or has no well-formed time fails the test.
    std::vector<JournalCall> Calls() const;

    const std::wstring path;
    const ScopedEnvironment variable{L"VWN_TOAST_JOURNAL", path};
};

// A registry value as it is stored: type and bytes, terminating zero included.
struct RegistryValue
{
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
    bool operator==(const RegistryValue& other) const { return type == other.type && bytes == other.bytes; }
};
using RegistryValues = std::map<std::wstring, RegistryValue>; // "" for the default value
void PrintTo(const RegistryValue& value, std::ostream* out);

// A REG_SZ with its terminating zero.
RegistryValue Sz(const std::wstring& text);
// Every value of a key under HKEY_CURRENT_USER; nothing when the key is missing.
std::optional<RegistryValues> ReadUserKey(const std::wstring& subKey);

std::wstring AumidKey(const std::wstring& aumid);
std::wstring ClsidKey(const std::wstring& clsidText);
std::wstring LocalServerKey(const std::wstring& clsidText);
// Deletes the identifier's key and its class id key.
void ForgetIdentity(const std::wstring& aumid);

// The code of the WinRtError that `call` raises, S_OK if none.
template <typename Call> HRESULT RaisedCode(Call call)
{
    try
    {
        call();
    }
    catch (const WinRtError& error)
    {
        return error.Code();
    }
    return S_OK;
}

// Runs `executable` (by default this one) with the gtest filter, including
// disabled tests, and returns its exit code (0: every selected test passed).
// A child still running after the timeout is ended; a filter that ran no test fails. Both give -1.
int RunChildTests(const std::wstring& filter, const std::wstring& executable = L"");

} // namespace ToastTest
