#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Helpers for the toast tests: the stand-in platform's journal, per-user
// registry values, and runs of this same test executable as a child process
// (for state that only a fresh process has).

namespace ToastTest
{

// One journal line split at its TABs; fields[0] is the time.
struct JournalRecord
{
    std::vector<std::wstring> fields;

    const std::wstring& Call() const { return fields.at(1); }
    const std::wstring& AppId() const { return fields.at(2); }
};

// A journal of its own for one test: VWN_TOAST_JOURNAL names a fresh file in
// the temporary folder while the object lives; the file goes with it.
class ScopedJournal
{
public:
    explicit ScopedJournal(const std::wstring& hint);
    ~ScopedJournal();
    ScopedJournal(const ScopedJournal&) = delete;
    ScopedJournal& operator=(const ScopedJournal&) = delete;

    const std::wstring& Path() const { return m_path; }
    bool Exists() const;
    // Every record, in order; a line that is not UTF-8 or not TAB-separated fails the test.
    std::vector<JournalRecord> Records() const;

private:
    std::wstring m_path;
};

// Sets an environment variable while the object lives, then removes it.
class ScopedEnvironment
{
public:
    ScopedEnvironment(const wchar_t* name, const std::wstring& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::wstring m_name;
};

// A fresh name in the temporary folder (nothing is created).
std::wstring TempFilePath(const std::wstring& hint, const std::wstring& extension = L".txt");
std::wstring ThisExecutablePath();
// With a trailing backslash.
std::wstring ThisExecutableFolder();

// A REG_SZ (or other) value under HKEY_CURRENT_USER as it is stored.
struct RegistryValue
{
    bool present = false;
    DWORD type = REG_NONE;
    DWORD size = 0;
    std::vector<BYTE> bytes;

    // The data as text without its terminating zero.
    std::wstring Text() const;
};

RegistryValue ReadUserValue(const std::wstring& subKey, const wchar_t* valueName);
bool UserKeyExists(const std::wstring& subKey);
DWORD UserKeyValueCount(const std::wstring& subKey);
void DeleteUserTree(const std::wstring& subKey);

std::wstring AumidKey(const std::wstring& aumid);
// The CLSID key named after the identifier's class id text, LocalServer32 included.
std::wstring LocalServerKey(const std::wstring& clsidText);
std::wstring ClsidKey(const std::wstring& clsidText);

// Runs `executable` (by default this one) with the gtest filter, including
// disabled tests, and returns its exit code (0: every selected test passed).
// A child still running after the timeout is ended and the result is -1.
int RunChildTests(const std::wstring& filter, const std::wstring& executable = L"");

} // namespace ToastTest
