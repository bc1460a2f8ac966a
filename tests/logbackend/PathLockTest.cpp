#include "logbackend/core/PathLock.h"

#include "CoreTestSupport.h"

#include <gtest/gtest.h>

using vwnlog::PathLock;

namespace
{
// Sees the shared block as another process would; its first field is the
// holder's process id.
class PathLockTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_path = m_folder / L"x.log";
        m_mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 64,
                                       PathLock::SharedName(m_path).c_str());
        ASSERT_NE(nullptr, m_mapping);
        m_owner = static_cast<volatile LONG*>(MapViewOfFile(m_mapping, FILE_MAP_WRITE, 0, 0, 64));
        ASSERT_NE(nullptr, m_owner);
    }

    void TearDown() override
    {
        if (m_owner != nullptr)
        {
            UnmapViewOfFile(const_cast<LONG*>(m_owner));
        }
        CloseHandle(m_mapping);
    }

    // Locks and unlocks with lock, which must take the lock over from holder.
    void ExpectTakeOver(vwnlog::PathLock& lock, DWORD holder, const wchar_t* why)
    {
        EXPECT_EQ(static_cast<LONG>(GetCurrentProcessId()), *m_owner);
        lock.Unlock();
        EXPECT_EQ(0, *m_owner);
        EXPECT_EQ((std::vector<std::wstring>{L"Log4cxxWrapper: WARN took over a log file lock from process " +
                                             std::to_wstring(holder) + why}),
                  m_diagnostics.Lines());
    }

    static DWORD EndedProcessId()
    {
        wchar_t system[MAX_PATH] = {};
        GetSystemDirectoryW(system, MAX_PATH);
        std::wstring command = L"\"" + std::wstring(system) + L"\\cmd.exe\" /c exit 0";
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                            &startup, &info))
        {
            return 0;
        }
        WaitForSingleObject(info.hProcess, INFINITE);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        return info.dwProcessId;
    }

    logtest::DiagnosticCapture m_diagnostics;
    TempFolder m_folder{L"vwn-logtest"};
    std::wstring m_path;
    HANDLE m_mapping = nullptr;
    volatile LONG* m_owner = nullptr;
};

TEST_F(PathLockTest, SharedName_IgnoresCaseOfPath)
{
    EXPECT_EQ(PathLock::SharedName(L"C:\\ProgramData\\Tessaly\\Voltwren\\Voltwren.log"),
              PathLock::SharedName(L"c:\\programdata\\tessaly\\voltwren\\VOLTWREN.LOG"));
    EXPECT_NE(PathLock::SharedName(L"C:\\a.log"), PathLock::SharedName(L"C:\\b.log"));
    EXPECT_EQ(0u, PathLock::SharedName(L"C:\\a.log").find(L"Log4cxxWrapper."));
}

TEST_F(PathLockTest, Lock_TakenOverFromProcessThatEndedHoldingIt)
{
    const DWORD ended = EndedProcessId();
    ASSERT_NE(0u, ended);
    PathLock lock;
    lock.Attach(m_path);
    *m_owner = static_cast<LONG>(ended);
    lock.Lock();
    ExpectTakeOver(lock, ended, L", which ended while holding it");
}

TEST_F(PathLockTest, Lock_TakenOverFromHolderThatNeverLetsGo)
{
    PathLock stuck;
    stuck.Attach(m_path);
    stuck.Lock();
    PathLock waiting;
    waiting.Attach(m_path);
    waiting.Lock(); // returns only by taking the lock over
    // The stuck holder's late release must not free the lock it lost.
    stuck.Unlock();
    ExpectTakeOver(waiting, GetCurrentProcessId(), L", which held it too long");
}
} // namespace
