#pragma once

#include "support/ScopedState.h"
#include "support/TestFolders.h"
#include "support/Wait.h"

#include <windows.h>

#include <string>
#include <vector>

// One toast that reached the stand-in toast platform.
struct ToastRecord
{
    std::string call;
    std::string identifier;
    std::string registered;
    std::string xml;
};

// The shown toasts of the stand-in's journal, in order.
std::vector<ToastRecord> ShownToasts(const std::wstring& journal);
// The toast follows its log lines: waits up to timeoutMs for the journal to hold `count` shown toasts.
std::vector<ToastRecord> WaitForToasts(const std::wstring& journal, size_t count, DWORD timeoutMs = kWaitMs);

// Points the toast platform's journal and failure switch into a folder of this
// test, for every program started while the object lives.
class ToastPlatformFiles
{
public:
    ToastPlatformFiles();
    ToastPlatformFiles(const ToastPlatformFiles&) = delete;
    ToastPlatformFiles& operator=(const ToastPlatformFiles&) = delete;

    std::wstring Journal() const { return m_folder.Path() + L"journal.txt"; }
    std::wstring FailSwitch() const { return m_folder.Path() + L"refuse.txt"; }

private:
    TempFolder m_folder;
    ScopedEnvironment m_journal;
    ScopedEnvironment m_failSwitch;
};
