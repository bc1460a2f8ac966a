#pragma once

#include "base/UniqueHandle.h"
#include "support/RecordedLog.h"
#include "support/TestFolders.h"
#include "support/Wait.h"

#include <windows.h>

#include <string>
#include <vector>

// A staged program folder holding Voltwren.exe and what lies beside it, and
// the program started from it. Everything started is ended with the object
// (a job object takes the program and its console along).
class ProgramUnderTest
{
public:
    // logLibrary: a folder of bin holding a Log4cxxWrapper.dll ("recording",
    // "recording-without-debug-a"), or empty for none.
    // parent: where the program folder is made (the temporary folder when empty).
    explicit ProgramUnderTest(const std::wstring& logLibrary = L"recording",
                              const std::wstring& folderHint = L"prog", const std::wstring& parent = L"");
    ~ProgramUnderTest();
    ProgramUnderTest(const ProgramUnderTest&) = delete;
    ProgramUnderTest& operator=(const ProgramUnderTest&) = delete;

    // The program folder, with a trailing backslash.
    const std::wstring& Folder() const { return m_folder.Path(); }
    std::wstring ToolFolder() const { return Folder() + L"ITE inboxI2C Flash\\"; }

    // Where the simulated tool writes its value file.
    std::wstring ValueFolder() const { return Folder() + L"out\\"; }
    // Copies bin's simulated ITERHPGen.exe into the tool folder with a scenario, and names
    // ValueFolder() in its OutputPath.ini.
    void StageTool(const std::string& scenario);
    // The argument texts of the commands the tool received, in order.
    std::vector<std::string> ToolCommands() const;

    // The next Start gives the program a standard error (and output): a file that
    // ErrorOutput() reads. Without it the program gets none, as from Explorer.
    void CaptureErrorOutput() { m_captureErrors = true; }
    std::string ErrorOutput() const { return ReadFileBytes(Folder() + L"stderr.txt"); }

    // showCommand: what the program is asked to show its window with (STARTF_USESHOWWINDOW), or -1 for
    // nothing.
    bool Start(const std::wstring& arguments, const std::wstring& currentDirectory = L"",
               int showCommand = -1);
    // Start, then WaitForWindow: the window, or null after a test failure when either fails.
    HWND StartWithWindow(const std::wstring& arguments, const std::wstring& currentDirectory = L"",
                         int showCommand = -1);
    // The main window of the started process (hidden ones too), or null after the timeout.
    HWND WaitForWindow(DWORD timeoutMs = kWaitMs);
    // True when the process ended within the timeout; exitCode then holds its full 32-bit code.
    bool WaitForExit(DWORD timeoutMs, DWORD& exitCode);
    bool IsRunning() const;
    // Starts the program and waits for it to end by itself. Its exit code, or 0xDEADBEEF
    // after a test failure when it did not start or end within the timeout.
    DWORD RunToExit(const std::wstring& arguments, DWORD timeoutMs = kWaitMs);
    // Ends the program through File, Exit of `window`, as a user would. Its exit code, or
    // 0xDEADBEEF after a test failure when it did not end within the timeout.
    DWORD ExitThroughMenu(HWND window, DWORD timeoutMs = kWaitMs);
    // Waits until the log holds `text` as a whole line `count` times.
    bool WaitForLogText(const std::wstring& text, DWORD timeoutMs = kWaitMs, size_t count = 1);
    void Kill();

    std::vector<LogRecord> Records() const;
    std::vector<std::wstring> Texts() const { return LogTexts(Records()); }
    DWORD ProcessId() const { return m_process.Get().dwProcessId; }

private:
    TempFolder m_folder;
    UniqueHandle m_job;
    UniqueProcessInformation m_process;
    bool m_captureErrors = false;
};

// A top-level window of the process, by class name or title (empty matches any), or null after the timeout.
HWND WaitForProcessWindow(DWORD processId, const wchar_t* className, const wchar_t* title, DWORD timeoutMs);

// Asks a window to end as a user would: the Exit command of its menu.
void SendExitCommand(HWND window);

// Runs a command line to its end, with this process's environment. The exit code, or -1 after
// a test failure when it cannot start; one that outlives the timeout is ended and fails the test.
int RunChild(const std::wstring& commandLine, DWORD timeoutMs);
