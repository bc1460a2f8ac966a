#include "support/ProgramUnderTest.h"

#include "app/resource.h"
#include "base/UniqueHandle.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

namespace
{
// A top-level window of one process, by class name or by title (either may be empty).
struct WindowSearch
{
    DWORD processId;
    const wchar_t* className;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    if (owner == search->processId &&
        (*search->className == 0 || lstrcmpW(className, search->className) == 0) &&
        (*search->title == 0 || lstrcmpW(title, search->title) == 0))
    {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}
} // namespace

HWND WaitForProcessWindow(DWORD processId, const wchar_t* className, const wchar_t* title, DWORD timeoutMs)
{
    WindowSearch search = {processId, className, title, nullptr};
    WaitFor(
        [&]
        {
            EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

ProgramUnderTest::ProgramUnderTest(const std::wstring& logLibrary, const std::wstring& folderHint,
                                   const std::wstring& parent)
    : m_folder(folderHint, parent)
{
    const std::wstring bin = BinFolder();
    CopyFileW((bin + L"Voltwren.exe").c_str(), (Folder() + L"Voltwren.exe").c_str(), FALSE);
    CopyFileW((bin + L"notification_icon.png").c_str(), (Folder() + L"notification_icon.png").c_str(), FALSE);
    if (!logLibrary.empty())
    {
        CopyFileW((bin + logLibrary + L"\\Log4cxxWrapper.dll").c_str(),
                  (Folder() + L"Log4cxxWrapper.dll").c_str(), FALSE);
    }
    m_job.Reset(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(m_job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits));
}

ProgramUnderTest::~ProgramUnderTest()
{
    Kill();
    m_job.Reset();
    // Give the system a moment to let go of the files before the folder goes.
    Sleep(100);
}

void ProgramUnderTest::StageTool(const std::string& scenario)
{
    CreateDirectoryW(ToolFolder().c_str(), nullptr);
    CreateDirectoryW(ValueFolder().c_str(), nullptr);
    CopyFileW((BinFolder() + L"ITERHPGen.exe").c_str(), (ToolFolder() + L"ITERHPGen.exe").c_str(), FALSE);
    WriteFileBytes(ToolFolder() + L"OutputPath.ini", ToUtf8(ValueFolder()));
    WriteFileBytes(ToolFolder() + L"sim-scenario.txt", scenario);
}

std::vector<std::string> ProgramUnderTest::ToolCommands() const
{
    std::vector<std::string> commands;
    std::vector<std::string> lines = Split(ReadFileBytes(ToolFolder() + L"sim-journal.txt"), '\n');
    lines.pop_back(); // a line still being written
    for (const std::string& line : lines)
    {
        const auto fields = Split(line, '\t');
        if (fields.size() >= 3)
        {
            commands.push_back(fields[1]);
        }
    }
    return commands;
}

bool ProgramUnderTest::Start(const std::wstring& arguments, const std::wstring& currentDirectory,
                             int showCommand)
{
    std::wstring commandLine = L"\"" + Folder() + L"Voltwren.exe\"";
    if (!arguments.empty())
    {
        commandLine += L" " + arguments;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (showCommand >= 0)
    {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(showCommand);
    }
    UniqueFile errors;
    if (m_captureErrors)
    {
        SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
        errors.Reset(CreateFileW((Folder() + L"stderr.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                 &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdOutput = errors.Get();
        startup.hStdError = errors.Get();
    }
    const wchar_t* directory = currentDirectory.empty() ? nullptr : currentDirectory.c_str();
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, m_captureErrors ? TRUE : FALSE,
                        CREATE_SUSPENDED, nullptr, directory, &startup, m_process.Put()))
    {
        return false;
    }
    AssignProcessToJobObject(m_job.Get(), m_process.Process());
    ResumeThread(m_process.Thread());
    return true;
}

HWND ProgramUnderTest::StartWithWindow(const std::wstring& arguments, const std::wstring& currentDirectory,
                                       int showCommand)
{
    if (!Start(arguments, currentDirectory, showCommand))
    {
        ADD_FAILURE() << "the program did not start";
        return nullptr;
    }
    return WaitForWindow();
}

HWND ProgramUnderTest::WaitForWindow(DWORD timeoutMs)
{
    const HWND window = WaitForProcessWindow(m_process.Get().dwProcessId, L"VOLTWREN", L"", timeoutMs);
    // The window is found as soon as it exists; the program shows it a moment later, and
    // is in its message loop only when it first waits for input.
    if (window != nullptr && WaitForInputIdle(m_process.Process(), timeoutMs) != 0)
    {
        ADD_FAILURE() << "the program did not come to wait for input";
    }
    return window;
}

bool ProgramUnderTest::WaitForExit(DWORD timeoutMs, DWORD& exitCode)
{
    if (!m_process.IsValid() || WaitForSingleObject(m_process.Process(), timeoutMs) != WAIT_OBJECT_0)
    {
        return false;
    }
    GetExitCodeProcess(m_process.Process(), &exitCode);
    return true;
}

bool ProgramUnderTest::IsRunning() const
{
    return m_process.IsValid() && WaitForSingleObject(m_process.Process(), 0) == WAIT_TIMEOUT;
}

bool ProgramUnderTest::WaitForLogText(const std::wstring& text, DWORD timeoutMs, size_t count)
{
    return WaitFor([&] { return CountLine(Texts(), text) >= count; }, timeoutMs);
}

void ProgramUnderTest::Kill()
{
    if (m_job)
    {
        TerminateJobObject(m_job.Get(), 1);
    }
    if (m_process.IsValid())
    {
        WaitForSingleObject(m_process.Process(), 5000);
        m_process.Reset();
    }
}

std::vector<LogRecord> ProgramUnderTest::Records() const
{
    return ReadRecordedLog(Folder() + L"recorded-log.txt");
}

DWORD ProgramUnderTest::RunToExit(const std::wstring& arguments, DWORD timeoutMs)
{
    DWORD exitCode = 0xDEADBEEF;
    EXPECT_TRUE(Start(arguments)) << "the program did not start";
    EXPECT_TRUE(WaitForExit(timeoutMs, exitCode)) << "the program did not end by itself";
    return exitCode;
}

DWORD ProgramUnderTest::ExitThroughMenu(HWND window, DWORD timeoutMs)
{
    SendExitCommand(window);
    DWORD exitCode = 0xDEADBEEF;
    EXPECT_TRUE(WaitForExit(timeoutMs, exitCode)) << "File, Exit did not end the program";
    return exitCode;
}

void SendExitCommand(HWND window)
{
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDM_EXIT, 0), 0);
}

int RunChild(const std::wstring& commandLine, DWORD timeoutMs)
{
    SCOPED_TRACE(ToUtf8(commandLine));
    std::wstring line = commandLine;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    UniqueProcessInformation process;
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        process.Put()))
    {
        ADD_FAILURE() << "CreateProcessW failed, error " << GetLastError();
        return -1;
    }
    const HANDLE processHandle = process.Process();
    if (WaitForSingleObject(processHandle, timeoutMs) != WAIT_OBJECT_0)
    {
        ADD_FAILURE() << "the child did not end within " << timeoutMs << " ms; ended it";
        TerminateProcess(processHandle, static_cast<UINT>(-1));
        WaitForSingleObject(processHandle, timeoutMs);
    }
    DWORD exitCode = static_cast<DWORD>(-1);
    GetExitCodeProcess(processHandle, &exitCode);
    return static_cast<int>(exitCode);
}
