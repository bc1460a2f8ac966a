// Window messages and power notices as the system sends them, and the
// single-instance rule, seen from outside the running program.
#include "app/resource.h"
#include "support/ProgramUnderTest.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

namespace
{
const std::wstring kThreadStarted =
    L"[ChipAccessHelper][ChipAccessHelper::Run] Executing the thread in progress.\n";
const std::wstring kStopping = L"[ChipAccessHelper][ChipAccessHelper::Stop] Stopping thread ...";
const std::wstring kReleaseOut = L"[ChipAccessHelper][ChipAccessHelper::Release] out.\n";
const std::wstring kPower = L"[Voltwren][WndProc] *** WM_POWERBROADCAST (0x218), wParam (0x";

HWND WaitForAboutBox(DWORD processId, DWORD timeoutMs)
{
    return WaitForProcessWindow(processId, L"", L"\x95DC\x65BC Voltwren", timeoutMs);
}

size_t CountPrefix(const std::vector<std::wstring>& texts, const std::wstring& prefix)
{
    size_t count = 0;
    for (size_t at = FindLinePrefix(texts, prefix); at != std::wstring::npos;
         at = FindLinePrefix(texts, prefix, at + 1))
    {
        ++count;
    }
    return count;
}
} // namespace

class WindowTest : public ::testing::Test
{
protected:
    // Starts the program and waits until detection runs; returns its main window.
    HWND StartRunning(ProgramUnderTest& program, const std::wstring& arguments = L"")
    {
        HWND window = program.StartWithWindow(arguments);
        EXPECT_TRUE(program.WaitForLogText(kThreadStarted));
        return window;
    }

    // The message's line is followed by the release of detection; the window stays.
    void ExpectReleasedWindowKept(ProgramUnderTest& program, HWND window, const std::wstring& messageLine)
    {
        // The detection thread may write between the main thread's lines.
        const auto texts = WithoutPollingLines(program.Texts());
        const size_t at = FindLine(texts, messageLine);
        ASSERT_NE(std::wstring::npos, at);
        ASSERT_LT(at + 1, texts.size());
        EXPECT_EQ(L"[ChipAccessHelper][ChipAccessHelper::Release] in.", texts[at + 1]);
        EXPECT_NE(std::wstring::npos, FindLine(texts, kStopping, at));
        EXPECT_NE(std::wstring::npos, FindLine(texts, kReleaseOut, at));
        EXPECT_TRUE(IsWindow(window));
        EXPECT_TRUE(program.IsRunning());
    }
};

TEST_F(WindowTest, SecondInstance_EndsWithMinusOneAndLeavesTheFirstRunning)
{
    ProgramUnderTest first;
    HWND window = StartRunning(first);
    ASSERT_NE(nullptr, window);

    ProgramUnderTest second;
    EXPECT_EQ(0xFFFFFFFFu, second.RunToExit(L""));

    const auto texts = second.Texts();
    const size_t at = FindLine(texts, L"[Voltwren][wWinMain] Creating mutex ...");
    ASSERT_NE(std::wstring::npos, at);
    ASSERT_GE(texts.size(), at + 4);
    EXPECT_EQ(L"[GlobalMutex][GlobalMutex::GlobalMutex] in.", texts[at + 1]);
    EXPECT_EQ(L"[GlobalMutex][GlobalMutex::GlobalMutex] out.", texts[at + 2]);
    EXPECT_EQ(0u, texts[at + 3].find(L"[Voltwren][wWinMain] {LastErrorCode : 183(0xB7)} "))
        << ToUtf8(texts[at + 3]);
    // Nothing else was created: no event, console or window; only the mutex destructor speaks.
    const std::vector<std::wstring> rest(texts.begin() + at + 4, texts.end());
    const std::vector<std::wstring> expected = {
        L"[GlobalMutex][GlobalMutex::~GlobalMutex] Calling Release() ...",
        L"[GlobalMutex][GlobalMutex::~GlobalMutex] Calling Release() - done.\n"};
    EXPECT_EQ(expected, rest);

    EXPECT_TRUE(first.IsRunning());
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(0u, first.ExitThroughMenu(window));
}

// With the shipped log library and settings the log goes to the machine's log folder,
// which the first start judged: a second start, refused later on, must leave it alone.
TEST_F(WindowTest, RefusedSecondStart_LeavesTheRunningInstancesLogAlone)
{
    const std::wstring logFile = L"C:\\ProgramData\\Tessaly\\Voltwren\\Voltwren.log";
    ProgramUnderTest first(L"");
    ProgramUnderTest second(L"");
    for (ProgramUnderTest* program : {&first, &second})
    {
        for (const wchar_t* name : {L"Log4cxxWrapper.dll", L"log4cxx.properties"})
        {
            ASSERT_TRUE(CopyFileW((BinFolder() + name).c_str(), (program->Folder() + name).c_str(), FALSE));
        }
    }
    HWND window = first.StartWithWindow(L"");
    ASSERT_NE(nullptr, window);
    const std::string firstLine = "[Voltwren][wWinMain] Creating mutex - done.";
    ASSERT_NE(std::string::npos, ReadFileBytes(logFile).find(firstLine));

    EXPECT_EQ(0xFFFFFFFFu, second.RunToExit(L""));
    const std::string log = ReadFileBytes(logFile);
    // The refusal is in the same log, after the first instance's lines.
    const size_t firstLines = log.find(firstLine);
    const size_t refusal = log.find("[Voltwren][wWinMain] {LastErrorCode : 183(0xB7)} ");
    ASSERT_NE(std::string::npos, firstLines);
    ASSERT_NE(std::string::npos, refusal);
    EXPECT_LT(firstLines, refusal);
    EXPECT_EQ(0u, first.ExitThroughMenu(window));
}

TEST_F(WindowTest, Close_ReleasesDetectionAndMutexButKeepsTheWindow)
{
    ProgramUnderTest first;
    HWND window = StartRunning(first);
    ASSERT_NE(nullptr, window);
    SendMessageW(window, WM_CLOSE, 0, 0);
    ExpectReleasedWindowKept(first, window, L"[Voltwren][WndProc] *** WM_CLOSE (0x10)***");

    // The mutex is given up: a new instance starts and runs beside the first.
    ProgramUnderTest second;
    HWND secondWindow = StartRunning(second);
    ASSERT_NE(nullptr, secondWindow);
    EXPECT_TRUE(second.IsRunning());
    EXPECT_EQ(0u, second.ExitThroughMenu(secondWindow));

    // A power notice after the release touches nothing released.
    SendMessageW(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    SendMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    const auto after = first.Texts();
    EXPECT_EQ(
        1u, CountLine(after,
                      L"[ChipAccessHelper][ChipAccessHelper::Stop] Detection was released; nothing to do."));
    EXPECT_EQ(1u,
              CountLine(after,
                        L"[ChipAccessHelper][ChipAccessHelper::Run] Detection was released; nothing to do."));
    EXPECT_EQ(0u, first.ExitThroughMenu(window));
    // After WM_CLOSE the shut-down wait finds the event already set.
    EXPECT_EQ(std::wstring::npos, FindLinePrefix(first.Texts(), L"[Voltwren][wWinMain] _event = "));
}

// wParam FALSE: the end of the session was cancelled and the session goes on.
TEST_F(WindowTest, EndSession_CancelledKeepsDetectionAndMutexEndedReleasesThem)
{
    ProgramUnderTest program;
    HWND window = StartRunning(program);
    ASSERT_NE(nullptr, window);
    SendMessageW(window, WM_ENDSESSION, FALSE, 0);
    EXPECT_EQ(1u,
              CountLine(program.Texts(), L"[Voltwren][WndProc] *** WM_ENDSESSION  (0x16) ***, wParam (0x0)"));
    EXPECT_EQ(0u, CountLine(program.Texts(), L"[ChipAccessHelper][ChipAccessHelper::Release] in."));
    ProgramUnderTest second;
    EXPECT_EQ(0xFFFFFFFFu, second.RunToExit(L""));

    SendMessageW(window, WM_ENDSESSION, TRUE, 0);
    ExpectReleasedWindowKept(program, window,
                             L"[Voltwren][WndProc] *** WM_ENDSESSION  (0x16) ***, wParam (0x1)");
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}

// Restart Manager, for a setup that replaces our files, closes the program as File, Exit does.
TEST_F(WindowTest, EndSessionCloseApp_EndsWithCode0)
{
    ProgramUnderTest program;
    HWND window = StartRunning(program);
    ASSERT_NE(nullptr, window);
    // The question alone ends and releases nothing: the session may still go on.
    SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(0u, CountLine(program.Texts(), L"[ChipAccessHelper][ChipAccessHelper::Release] in."));
    SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
    DWORD exitCode = 0xDEADBEEF;
    ASSERT_TRUE(program.WaitForExit(kWaitMs, exitCode));
    EXPECT_EQ(0u, exitCode);
    const auto texts = WithoutPollingLines(program.Texts());
    const size_t at = FindLine(texts, L"[Voltwren][WndProc] ENDSESSION_CLOSEAPP: the program ends.");
    ASSERT_NE(std::wstring::npos, at);
    EXPECT_EQ(L"[Voltwren][WndProc] *** WM_DESTROY  (0x2) ***", texts[at + 1]);
    EXPECT_EQ(1u, CountLine(texts, texts[at + 1]));
}

// Version-dependent paths run as they will for users: the prefix says Windows 10.
TEST_F(WindowTest, Prefix_ReportsWindows10)
{
    using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto getVersion = reinterpret_cast<GetVersion>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    ASSERT_EQ(0, getVersion(&version));
    EXPECT_EQ(10u, version.dwMajorVersion);
    EXPECT_GE(version.dwBuildNumber, 10240u);
}

TEST_F(WindowTest, ResumeCritical_RestartsDetection)
{
    ProgramUnderTest program;
    HWND window = StartRunning(program);
    ASSERT_NE(nullptr, window);
    SendMessageW(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
    SendMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMECRITICAL, 0);
    EXPECT_EQ(1u,
              CountLine(program.Texts(), L"[Voltwren][WndProc] @@@@@ Resumed from the S3/S4 state. @@@@@\n"));
    EXPECT_EQ(2u, CountLine(program.Texts(), kThreadStarted));
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}

TEST_F(WindowTest, Sleep_StopsOnceAndRestartsOnce)
{
    ProgramUnderTest program;
    HWND window = StartRunning(program);
    ASSERT_NE(nullptr, window);
    // Each notice is answered TRUE, as its documentation asks.
    EXPECT_EQ(TRUE, SendMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND,
                                 0)); // resume without suspend: one line only
    EXPECT_EQ(TRUE, SendMessageW(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0));
    SendMessageW(window, WM_POWERBROADCAST, PBT_APMSUSPEND, 0); // second suspend: two lines only
    SendMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0);
    SendMessageW(window, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
    SendMessageW(window, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0);

    const auto texts = program.Texts();
    const std::vector<std::wstring> expected = {
        kPower + L"7) ***",
        kPower + L"4) ***",
        L"[Voltwren][WndProc] *** PBT_APMSUSPEND (wParam = 0x4)***",
        L"[Voltwren][WndProc] @@@@@ Getting into the S3/S4 state ... @@@@@",
        kStopping,
        L"[ChipAccessHelper][ChipAccessHelper::Stop] Stopping thread - done.",
        L"[Voltwren][WndProc] @@@@@ Suspended. (PBT_APMSUSPEND) @@@@@\n",
        kPower + L"4) ***",
        L"[Voltwren][WndProc] *** PBT_APMSUSPEND (wParam = 0x4)***",
        kPower + L"12) ***",
        L"[Voltwren][WndProc] *** PBT_APMRESUMESUSPEND (wParam=0x7) | PBT_APMRESUMEAUTOMATIC (wParam=0x12) | PBT_APMRESUMECRITICAL (wParam=0x6) ***",
        L"[Voltwren][WndProc] @@@@@ Resuming from the S3/S4 state ... @@@@@",
        L"[ChipAccessHelper][ChipAccessHelper::Run] _retryCount(50)",
    };
    // The detection thread writes too; compare the main thread's lines only.
    const auto mainThread = WithoutPollingLines(texts);
    const size_t from = FindLinePrefix(mainThread, kPower);
    ASSERT_NE(std::wstring::npos, from);
    const std::vector<std::wstring> mainLines(
        mainThread.begin() + from, mainThread.begin() + std::min(mainThread.size(), from + expected.size()));
    EXPECT_EQ(expected, mainLines);
    EXPECT_EQ(1u, CountLine(texts, L"[Voltwren][WndProc] @@@@@ Resumed from the S3/S4 state. @@@@@\n"));
    EXPECT_EQ(2u, CountLine(texts, kThreadStarted));
    EXPECT_EQ(1u, CountLine(texts, kPower + L"a) ***"));
    EXPECT_EQ(6u, CountPrefix(texts, kPower));
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}

// Alt with "?" or "/" gives the About command. Wine matches character accelerators
// against the thread's Alt key state, which a message posted to another process cannot
// carry: the program's own table translates the keys here, with Alt held for this thread.
namespace
{
LRESULT CALLBACK RecordCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND)
    {
        SetWindowLongPtrW(window, GWLP_USERDATA, static_cast<LONG_PTR>(LOWORD(wParam)));
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

WORD CommandForAltKey(HACCEL table, wchar_t key)
{
    SCOPED_TRACE(static_cast<char>(key));
    const HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordCommand));
    BYTE keys[256] = {};
    keys[VK_MENU] = 0x80;
    SetKeyboardState(keys);
    MSG message = {window, WM_SYSCHAR, key, static_cast<LPARAM>(1u << 29), 0, {0, 0}};
    TranslateAcceleratorW(window, table, &message);
    keys[VK_MENU] = 0;
    SetKeyboardState(keys);
    const WORD command = static_cast<WORD>(GetWindowLongPtrW(window, GWLP_USERDATA));
    DestroyWindow(window);
    return command;
}
} // namespace

TEST_F(WindowTest, Accelerators_AltQuestionMarkAndSlashGiveAbout)
{
    HMODULE image =
        LoadLibraryExW((BinFolder() + L"Voltwren.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, image);
    HACCEL table = LoadAcceleratorsW(image, MAKEINTRESOURCEW(IDC_VOLTWREN));
    ASSERT_NE(nullptr, table);
    EXPECT_EQ(IDM_ABOUT, CommandForAltKey(table, L'?'));
    EXPECT_EQ(IDM_ABOUT, CommandForAltKey(table, L'/'));
    EXPECT_EQ(0, CommandForAltKey(table, L'x'));
    DestroyAcceleratorTable(table);
    FreeLibrary(image);
}

TEST_F(WindowTest, AboutCommand_OpensTheModalAboutBox)
{
    ProgramUnderTest program;
    HWND window = StartRunning(program);
    ASSERT_NE(nullptr, window);
    for (int round = 0; round < 2; ++round)
    {
        PostMessageW(window, WM_COMMAND, IDM_ABOUT, 0);
        HWND about = WaitForAboutBox(program.ProcessId(), kWaitMs);
        ASSERT_NE(nullptr, about);
        EXPECT_FALSE(IsWindowEnabled(window)); // modal: the main window takes no input
        PostMessageW(about, WM_COMMAND, MAKEWPARAM(round == 0 ? IDOK : IDCANCEL, BN_CLICKED), 0);
        EXPECT_TRUE(WaitFor([&] { return !IsWindow(about); }));
    }
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}
