// The program as a user or the system sees it: started from a staged folder,
// its log lines, its window and its exit code.
#include "base/UniqueHandle.h"
#include "support/ProgramUnderTest.h"

#include <gtest/gtest.h>

namespace
{

const std::vector<std::wstring> kStartupHead = {
    L"[Voltwren][wWinMain] @@@@@ MAIN ENTRY @@@@@",
    L"[Voltwren][wWinMain] Creating mutex ...",
    L"[GlobalMutex][GlobalMutex::GlobalMutex] in.",
    L"[GlobalMutex][GlobalMutex::GlobalMutex] out.",
};

const std::vector<std::wstring> kAfterMutex = {
    L"[Voltwren][wWinMain] Creating mutex - done.",
    L"[Voltwren][wWinMain] Creating event objects ...",
    L"[Voltwren][wWinMain] Creating event objects - done.",
    L"[Voltwren][wWinMain] Processing command-line args ...",
};

std::vector<std::wstring> Slice(const std::vector<std::wstring>& texts, size_t from, size_t count)
{
    if (from >= texts.size())
    {
        return {};
    }
    return std::vector<std::wstring>(texts.begin() + from,
                                     texts.begin() + std::min(texts.size(), from + count));
}

} // namespace

class StartupTest : public ::testing::Test
{
};

TEST_F(StartupTest, Startup_WritesItsLinesInOrderAndHidesTheWindow)
{
    ProgramUnderTest program;
    HWND window = program.StartWithWindow(L"");
    ASSERT_NE(nullptr, window);
    EXPECT_FALSE(IsWindowVisible(window));

    const auto records = program.Records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ('C', records.front().kind);
    EXPECT_EQ(program.Folder() + L"log4cxx.properties", records.front().text);

    const auto texts = program.Texts();
    // The test machine has no installer entries: the lookup's one failure line comes first.
    ASSERT_GE(texts.size(), 12u);
    EXPECT_EQ(0u, texts[0].find(L"[Voltwren][getVersionNumber] {LastErrorCode : 2(0x2)} ")) << texts[0];
    EXPECT_EQ(kStartupHead, Slice(texts, 1, kStartupHead.size()));
    EXPECT_EQ(0u, texts[5].find(L"[Voltwren][wWinMain] {LastErrorCode : 0(0x0)} ")) << texts[5];
    EXPECT_EQ(kAfterMutex, Slice(texts, 6, kAfterMutex.size()));
    const std::vector<std::wstring> options = {
        L"[Voltwren][GetCmdLineArgs] _numArgs(1)",
        L"[Voltwren][wWinMain] Got no cmd parameters or incorrect ones. => Show brief log contents.",
        L"[Voltwren][wWinMain] Processing command-line args - done.",
    };
    EXPECT_EQ(options, Slice(texts, 10, options.size()));
    for (const LogRecord& record : records)
    {
        if (record.kind != 'C')
        {
            EXPECT_EQ(L"vwn_NaN", record.logger);
        }
    }
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}

// Also: once the window exists, Windows is asked to restart the program with these
// arguments. Wine keeps nothing of it, so the log line is what can be seen.
TEST_F(StartupTest, ShowConsole_ShowsTheWindowLogsTheFolderAndRegistersForRestart)
{
    ProgramUnderTest program;
    HWND window = program.StartWithWindow(L"-showconsole -retrycount 3");
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(IsWindowVisible(window));
    const auto texts = program.Texts();
    const std::vector<std::wstring> expected = {
        L"[Voltwren][GetCmdLineArgs] _numArgs(4)",
        L"[Voltwren][wWinMain] g_readPresenceStatusRetryCount(3) - 1.",
        L"[Voltwren][wWinMain] Got the cmd directive. => Show detailed log contents.",
        L"[Voltwren][wWinMain] _workingDir -> " + program.Folder(),
        L"[Voltwren][wWinMain] Processing command-line args - done.",
    };
    const size_t at = FindLine(texts, expected.front());
    EXPECT_EQ(expected, Slice(texts, at, expected.size()));
    EXPECT_TRUE(program.WaitForLogText(
        L"[Voltwren][wWinMain] RegisterApplicationRestart(\"-showconsole -retrycount 3\", RESTART_NO_REBOOT): HRESULT(0x00000000)."));
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}

TEST_F(StartupTest, ExitCommand_ShutsDownInOrderWithExitCode0)
{
    ProgramUnderTest program;
    HWND window = program.StartWithWindow(L"");
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(program.WaitForLogText(
        L"[ChipAccessHelper][ChipAccessHelper::Run] Executing the thread in progress.\n"));
    EXPECT_EQ(0u, program.ExitThroughMenu(window));

    // The detection thread's last lines may come between the main thread's.
    const auto texts = WithoutPollingLines(program.Texts());
    const std::vector<std::wstring> expected = {
        L"[Voltwren][WndProc] *** WM_DESTROY  (0x2) ***",
        L"[Voltwren][wWinMain] @@@@@ WM_QUIT RECEIVED. @@@@@\n",
        L"[ChipAccessHelper][ChipAccessHelper::Release] in.",
        L"[ChipAccessHelper][ChipAccessHelper::Stop] Stopping thread ...",
    };
    const size_t at = FindLine(texts, expected.front());
    ASSERT_NE(std::wstring::npos, at);
    EXPECT_EQ(expected, Slice(texts, at, expected.size()));
    const std::vector<std::wstring> tail = {
        L"[ChipAccessHelper][ChipAccessHelper::CloseConsole] Closing the console ...",
        L"[ChipAccessHelper][ChipAccessHelper::CloseConsole] Closing the console - done.\n",
        L"[ChipAccessHelper][ChipAccessHelper::Release] out.\n",
        L"[ChipAccessHelper][ChipAccessHelper::~ChipAccessHelper] in.",
        L"[ChipAccessHelper][ChipAccessHelper::Release] in.",
        L"[ChipAccessHelper][ChipAccessHelper::Release] out.\n",
        L"[ChipAccessHelper][ChipAccessHelper::~ChipAccessHelper] out.\n",
        L"[GlobalMutex][GlobalMutex::~GlobalMutex] Calling Release() ...",
        L"[GlobalMutex][GlobalMutex::~GlobalMutex] Calling Release() - done.\n",
    };
    ASSERT_GE(texts.size(), tail.size());
    EXPECT_EQ(tail, Slice(texts, texts.size() - tail.size(), tail.size()));
    EXPECT_EQ(
        1u, CountLine(texts, L"[ChipAccessHelper][ChipAccessHelper::CloseConsole] Closing the console ..."));
}

TEST_F(StartupTest, ShowCommand_UsedWithShowConsoleOnly)
{
    for (const bool detailed : {false, true})
    {
        ProgramUnderTest program;
        HWND window = program.StartWithWindow(detailed ? L"-showconsole" : L"", L"", SW_SHOWMINNOACTIVE);
        ASSERT_NE(nullptr, window);
        EXPECT_EQ(detailed, IsWindowVisible(window) != FALSE);
        EXPECT_EQ(detailed, IsIconic(window) != FALSE);
        EXPECT_EQ(0u, program.ExitThroughMenu(window));
    }
}

// Another object already holds the release event's name: the start fails.
TEST_F(StartupTest, ReleaseEventNameTaken_FailsWithMinusOne)
{
    const UniqueHandle squatter(CreateMutexW(nullptr, FALSE, L"vwn_chipAaccessHelper"));
    ASSERT_TRUE(squatter);
    ProgramUnderTest program;
    EXPECT_EQ(0xFFFFFFFFu, program.RunToExit(L""));
    const auto texts = program.Texts();
    const size_t at = FindLine(texts, L"[Voltwren][wWinMain] Creating event objects ...");
    ASSERT_NE(std::wstring::npos, at);
    ASSERT_LT(at + 1, texts.size());
    EXPECT_EQ(L"[Voltwren][wWinMain] @@@@@ Creating event objects - FAILED ! @@@@@", texts[at + 1]);
    EXPECT_EQ(std::wstring::npos, FindLine(texts, L"[Voltwren][wWinMain] Processing command-line args ..."));
}

// Another program holds both event names and sets the polling one: detection
// runs on events of its own all the same, and stops and ends as always. A chip
// that never answers makes every poll write a line, whatever the console does.
TEST_F(StartupTest, EventNamesTaken_DetectionRunsOnUnnamedEventsAndEnds)
{
    const UniqueHandle polling(CreateEventW(nullptr, FALSE, FALSE, L"vwn_polling"));
    const UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, L"vwn_chipAaccessHelper"));
    ASSERT_TRUE(polling && release);
    ProgramUnderTest program;
    program.StageTool("none\n");
    HWND window = program.StartWithWindow(L"");
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(program.WaitForLogText(
        L"[ChipAccessHelper][ChipAccessHelper::Run] Executing the thread in progress.\n"));
    ASSERT_TRUE(SetEvent(polling.Get()));
    const std::wstring unread =
        L"[ChipAccessHelper][ChipAccessHelper::ReadQcPdPresenceStatusFromFile] @@@@@ Unable to open the target file !!! @@@@@";
    EXPECT_TRUE(program.WaitForLogText(unread, kWaitMs, CountLine(program.Texts(), unread) + 2));
    EXPECT_EQ(0u, program.ExitThroughMenu(window));

    const auto texts = program.Texts();
    const std::wstring helper = L"[ChipAccessHelper][ChipAccessHelper::ChipAccessHelper] ";
    const std::wstring shell = L"[Voltwren][wWinMain] ";
    for (const std::wstring& prefix : {helper, shell})
    {
        const std::wstring name = prefix == helper ? L"vwn_polling" : L"vwn_chipAaccessHelper";
        const size_t at =
            FindLine(texts, prefix + L"@@@@@ The event " + name + L" belongs to another program !!! @@@@@");
        ASSERT_NE(std::wstring::npos, at) << ToUtf8(name);
        ASSERT_LT(at + 2, texts.size());
        EXPECT_EQ(0u, texts[at + 1].find(prefix + L"{LastErrorCode : 183(0xB7)} ")) << ToUtf8(texts[at + 1]);
        EXPECT_EQ(prefix + L"Going on with an unnamed event.", texts[at + 2]);
    }
    EXPECT_EQ(1u, CountLine(texts, L"[ChipAccessHelper][ChipAccessHelper::Stop] Stopping thread - done."));
    EXPECT_EQ(0u,
              CountLine(texts, L"[ChipAccessHelper][ChipAccessHelper::Stop] Stopping thread - Retrying ..."));
}

// Without its class and title strings the program cannot make its window.
TEST_F(StartupTest, NoMainWindow_FailsWithMinusOne)
{
    ProgramUnderTest program;
    HANDLE update = BeginUpdateResourceW((program.Folder() + L"Voltwren.exe").c_str(), FALSE);
    ASSERT_NE(nullptr, update);
    // Strings 96 to 111 (103 the title, 109 the class) are block 7: make them all empty.
    WORD emptyBlock[16] = {};
    ASSERT_TRUE(UpdateResourceW(update, RT_STRING, MAKEINTRESOURCEW(7),
                                MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_TRADITIONAL), emptyBlock,
                                sizeof(emptyBlock)));
    ASSERT_TRUE(EndUpdateResourceW(update, FALSE));
    EXPECT_EQ(0xFFFFFFFFu, program.RunToExit(L""));
    EXPECT_EQ(1u, CountLine(program.Texts(),
                            L"[Voltwren][wWinMain] @@@@@ Creating the main window - FAILED ! @@@@@"));
}

TEST_F(StartupTest, WithoutLogLibrary_RunsSilently)
{
    ProgramUnderTest program(L"");
    HWND window = program.StartWithWindow(L"");
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((program.Folder() + L"recorded-log.txt").c_str()));
}

TEST_F(StartupTest, LibraryWithoutNarrowEntryPoint_GetsWideLinesOnly)
{
    ProgramUnderTest program(L"recording-without-debug-a");
    HWND window = program.StartWithWindow(L"");
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
    const auto records = program.Records();
    size_t wide = 0;
    for (const LogRecord& record : records)
    {
        EXPECT_NE('A', record.kind) << ToUtf8(record.text);
        wide += record.kind == 'W' ? 1 : 0;
    }
    EXPECT_GT(wide, 20u);
    // The narrow release lines are gone; the wide console lines around them are not.
    const auto texts = LogTexts(records);
    EXPECT_EQ(0u, CountLine(texts, L"[ChipAccessHelper][ChipAccessHelper::Release] in."));
    EXPECT_EQ(
        1u, CountLine(texts, L"[ChipAccessHelper][ChipAccessHelper::CloseConsole] Closing the console ..."));
}

TEST_F(StartupTest, LongProgramFolder_DoesNotCrashTheDebuggerLine)
{
    // A folder path near the system's limit; the debugger line for it exceeds 259 characters.
    ProgramUnderTest program(L"recording", std::wstring(150, L'd'));
    HWND window = program.StartWithWindow(L"-showconsole");
    ASSERT_NE(nullptr, window);
    EXPECT_EQ(1u, CountLine(program.Texts(), L"[Voltwren][wWinMain] _workingDir -> " + program.Folder()));
    EXPECT_EQ(0u, program.ExitThroughMenu(window));
}
