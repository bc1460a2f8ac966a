// "-exit": the running Voltwren ends as through File, Exit, and the copy that
// asked tells in its exit code and one line how that went.
#include "support/ProgramUnderTest.h"

#include <gtest/gtest.h>

namespace
{
DWORD RunExitSwitch(ProgramUnderTest& asker, const std::wstring& arguments)
{
    asker.CaptureErrorOutput();
    return asker.RunToExit(arguments);
}
} // namespace

TEST(ExitTest, RunningInstance_EndsThroughItsShutDownAndTheAskerWaits)
{
    ProgramUnderTest running;
    ASSERT_TRUE(running.Start(L""));
    ASSERT_NE(nullptr, running.WaitForWindow());
    ASSERT_TRUE(running.WaitForLogText(
        L"[ChipAccessHelper][ChipAccessHelper::Run] Executing the thread in progress.\n"));

    ProgramUnderTest asker;
    EXPECT_EQ(0u, RunExitSwitch(asker, L"-retrycount 3 -EXIT"));
    EXPECT_EQ("", asker.ErrorOutput());
    // The asker loaded no log library, so it left the log folder alone.
    EXPECT_TRUE(asker.Records().empty());
    DWORD exitCode = 0xDEADBEEF;
    ASSERT_TRUE(running.WaitForExit(0, exitCode));
    EXPECT_EQ(0u, exitCode);
    const auto texts = running.Texts();
    EXPECT_EQ(1u, CountLine(texts, L"[Voltwren][WndProc] *** WM_DESTROY  (0x2) ***"));
    EXPECT_EQ(1u, CountLine(texts, L"[Voltwren][wWinMain] @@@@@ WM_QUIT RECEIVED. @@@@@\n"));
    EXPECT_EQ(L"[GlobalMutex][GlobalMutex::~GlobalMutex] Calling Release() - done.\n",
              WithoutPollingLines(texts).back());
}

// The window comes before the tool: -exit finds it while the first probe waits on a slow tool.
TEST(ExitTest, DuringTheStartupProbes_RunningInstanceEndsWithin2s)
{
    ProgramUnderTest running;
    running.StageTool("delay 10 s\nstatus 0\n");
    ASSERT_TRUE(running.Start(L"-showconsole"));
    ASSERT_NE(nullptr, running.WaitForWindow());
    ASSERT_TRUE(running.WaitForLogText(
        L"[ChipAccessHelper][ChipAccessHelper::WriteToConsole] outputString -> ITERHPGen.exe 0x4E 1 W 1 1 D8\n"));

    ProgramUnderTest asker;
    const ULONGLONG askedAt = GetTickCount64();
    EXPECT_EQ(0u, RunExitSwitch(asker, L"-exit"));
    DWORD exitCode = 0xDEADBEEF;
    ASSERT_TRUE(running.WaitForExit(0, exitCode));
    EXPECT_LT(GetTickCount64() - askedAt, 2000u);
    EXPECT_EQ(0u, exitCode);
    // The probe's run had not ended: the chip was not found yet.
    EXPECT_EQ(0u,
              CountLine(running.Texts(),
                        L"[ChipAccessHelper][ChipAccessHelper::DetectSlaveAddress] _addr(0x4E) detected."));
}

TEST(ExitTest, NothingRunning_FailsWithOneLine)
{
    ProgramUnderTest asker;
    EXPECT_EQ(1u, RunExitSwitch(asker, L"-exit"));
    EXPECT_EQ("Voltwren -exit: no Voltwren is running in this session.\r\n", asker.ErrorOutput());
}

// A main window that takes the request and never ends: the asker gives up after its wait.
TEST(ExitTest, InstanceThatDoesNotEnd_FailsAfterTheWait)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"VOLTWREN";
    ASSERT_NE(0, RegisterClassW(&windowClass));
    HWND hung = CreateWindowExW(0, L"VOLTWREN", L"Voltwren", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(nullptr, hung);

    ProgramUnderTest asker;
    EXPECT_EQ(1u, RunExitSwitch(asker, L"-exit"));
    EXPECT_EQ("Voltwren -exit: Voltwren (process " + std::to_string(GetCurrentProcessId()) +
                  ") did not end within 10 s.\r\n",
              asker.ErrorOutput());
    DestroyWindow(hung);
    UnregisterClassW(L"VOLTWREN", windowClass.hInstance);
}
