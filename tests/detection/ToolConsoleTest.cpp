// How the tool console is started, checked without starting it.
#include "detection/ToolConsole.h"
#include "support/TestFolders.h"

#include <gtest/gtest.h>

namespace
{
std::wstring Block(std::initializer_list<const wchar_t*> entries)
{
    std::wstring block;
    for (const wchar_t* entry : entries)
    {
        block += entry;
        block += L'\0';
    }
    return block + L'\0';
}
bool FileAppears(const std::wstring& path)
{
    for (int i = 0; i < 100 && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
    {
        Sleep(50);
    }
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}
} // namespace

TEST(ToolConsoleTest, NarrowToLowBytes_KeepsTheLowByte)
{
    EXPECT_EQ(std::string("cd \xE9\x2D\n"), NarrowToLowBytes(L"cd \x00E9\x4E2D\n"));
    EXPECT_EQ(std::string("ITERHPGen.exe 0x4E 1 W 1 1 D8\n"),
              NarrowToLowBytes(L"ITERHPGen.exe 0x4E 1 W 1 1 D8\n"));
}

TEST(ToolConsoleTest, EnvironmentBlockWith_ReplacesAnyCaseAndKeepsTheOrder)
{
    const std::wstring current = Block({L"=C:=C:\\x", L"ALPHA=1", L"vwn_tool_dir=old", L"ZETA=2"});
    EXPECT_EQ(Block({L"=C:=C:\\x", L"ALPHA=1", L"VWN_TOOL_DIR=D:\\p%OS%q\\\x00E9\\", L"ZETA=2"}),
              EnvironmentBlockWith(current.c_str(), L"VWN_TOOL_DIR", L"D:\\p%OS%q\\\x00E9\\"));
    EXPECT_EQ(Block({L"A=1", L"VWN_TOOL_DIR=x"}),
              EnvironmentBlockWith(Block({L"A=1"}).c_str(), L"VWN_TOOL_DIR", L"x"));
    EXPECT_EQ(Block({L"VWN_TOOL_DIR=x"}), EnvironmentBlockWith(nullptr, L"VWN_TOOL_DIR", L"x"));
}

// Whether the console gets a window is seen from outside, in the detection system test.
TEST(ToolConsoleTest, DescribeConsoleLaunch_TheSystemsCmdWithTheToolFolderInItsEnvironment)
{
    const std::wstring folder = L"C:\\Program Files\\Tessaly\\Voltwren\\ITE inboxI2C Flash\\";

    const ConsoleLaunch hidden = DescribeConsoleLaunch(false, folder);
    // The test prefix's system folder, whatever word size asks.
    EXPECT_EQ(L"C:\\windows\\system32\\cmd.exe", hidden.application);
    EXPECT_EQ(L"\"C:\\windows\\system32\\cmd.exe\" /D /E:ON /V:OFF", hidden.commandLine);
    EXPECT_NE(std::wstring::npos,
              hidden.environment.find(std::wstring(L"\0VWN_TOOL_DIR=", 14) + folder + L'\0'));
    EXPECT_EQ(hidden.environment, DescribeConsoleLaunch(true, folder).environment);
}

// Wine's cmd.exe runs only the first of two lines that reach it together.
TEST(ToolConsoleTest, LinesTypedBackToBack_AllRun_AndAConsoleThatEndedIsReplacedOnce)
{
    const TempFolder folder(L"console");
    ToolConsole console;
    console.CreatePipeRedirectedConsole(folder.Path(), false);
    ASSERT_TRUE(console.WriteToConsole(std::string("echo 1>one.txt\n")));
    EXPECT_TRUE(console.WriteToConsole(std::string("echo 2>two.txt\n")));
    EXPECT_TRUE(FileAppears(folder.Path() + L"one.txt"));
    EXPECT_TRUE(FileAppears(folder.Path() + L"two.txt"));
    // Up and idle, with whatever console host the system gave it: nothing to replace.
    EXPECT_EQ(ConsoleRenewal::Kept, console.RenewConsole());

    EXPECT_TRUE(console.WriteToConsole(std::string("exit\n")));
    bool renewed = false;
    for (int i = 0; i < 100 && !renewed; ++i)
    {
        Sleep(50);
        renewed = console.RenewConsole() == ConsoleRenewal::Renewed;
    }
    ASSERT_TRUE(renewed);
    EXPECT_EQ(ConsoleRenewal::Kept, console.RenewConsole());
    EXPECT_TRUE(console.WriteToConsole(std::string("echo 3>three.txt\n")));
    EXPECT_TRUE(FileAppears(folder.Path() + L"three.txt"));
    console.CloseConsole();
}
