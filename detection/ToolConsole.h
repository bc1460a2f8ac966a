#pragma once

#include "base/UniqueHandle.h"
#include "detection/StopSignal.h"
#include "detection/ToolRunWatch.h"

#include <windows.h>

#include <chrono>
#include <string>

// Wine's cmd.exe loses a line that reaches its pipe together with the line
// before it, which happens while it is still starting or busy. So lines are
// typed at least kLineSpacingMs apart, and the second line of a fresh console
// waits until it has run kConsoleStartMs: a loaded machine here took up to
// 1.8 s to start cmd.exe.
constexpr DWORD kLineSpacingMs = 300;
constexpr DWORD kConsoleStartMs = 2000;

// cmd.exe finds the tool folder under this name in its own environment, so the
// folder's name is never typed: cmd would expand "%NAME%" in a typed line and
// could only be sent the low byte of each character.
constexpr const wchar_t* kToolDirVariable = L"VWN_TOOL_DIR";

// How cmd.exe is started, apart from the start itself so that it can be checked.
struct ConsoleLaunch
{
    std::wstring application; // cmd.exe in the system folder
    // No AutoRun commands, command extensions on, delayed expansion off: the
    // console runs only what is typed, read the same on every machine.
    std::wstring commandLine;
    DWORD creationFlags = 0;
    DWORD startupFlags = 0;
    WORD showWindow = SW_HIDE;
    std::wstring environment; // a Unicode block: "NAME=value" strings, each ended by a zero, then a zero
    // The tool folder when it exists, else empty (the program's own current folder).
    std::wstring currentDirectory;
};

// Hidden: no console window at all (a hidden console window may be handed to
// Windows Terminal and shown). Visible: a console window of its own.
ConsoleLaunch DescribeConsoleLaunch(bool visible, const std::wstring& toolFolder);

// `environment` (a block as GetEnvironmentStringsW gives it) with `name` set to
// `value`: an entry of that name, in any case, is replaced; the new one goes
// where a sorted block would have it.
std::wstring EnvironmentBlockWith(const wchar_t* environment, const std::wstring& name,
                                  const std::wstring& value);

// What the tool console receives for a wide command: one byte per UTF-16
// code unit, its low byte (U+00E9 gives 0xE9, U+4E2D gives 0x2D).
std::string NarrowToLowBytes(const std::wstring& text);

// What a resend found the console doing.
enum class ConsoleRenewal
{
    Kept,     // it takes commands and runs none
    Renewed,  // it was gone or held by a hung run: a fresh one took its "cd"
    RunGoing, // a tool run younger than kHungRunMs: left to answer
    Failed    // no fresh console could be started
};

// The hidden cmd.exe that runs the charger tool: command lines go in through a
// pipe, nothing is read back. Only cmd.exe inherits the pipe's read end; the
// write end stays ours alone, so cmd.exe sees the end of its input, and ends,
// when this process ends in any way. A console that can no longer read (it
// waits on a tool that hangs) is ended with its tool through a kill-on-close
// job, whose only handle is ours: closed by Close, or by the system when this
// process ends in any way.
class ToolConsole
{
public:
    ToolConsole() = default;
    ToolConsole(const ToolConsole&) = delete;
    ToolConsole& operator=(const ToolConsole&) = delete;

    // Starts cmd.exe with the tool folder in its environment, in a visible console
    // in detailed mode, which also logs every line typed. Logs the outcome.
    void CreatePipeRedirectedConsole(const std::wstring& toolFolder, bool detailedLog);

    // One write call per command; the wide form sends the low bytes. Nothing is
    // written when the thread is stopped while the line waits for its time.
    bool WriteToConsole(const std::string& text, StopSignal& stop);
    bool WriteToConsole(const std::wstring& text, StopSignal& stop);
    // The same on the window's thread, which has no stop.
    bool WriteToConsole(const std::string& text);
    // Types the "cd" into the tool folder; true when the line reached the pipe.
    bool ChangeConsoleCurrentDir2ToolDir(StopSignal& stop);
    // Types "exit" and closes the pipe, gives the console a moment to end, then
    // closes the job, which ends whatever of it is left; does nothing when it is closed.
    void CloseConsole();
    // At a resend: a console that takes no more commands (a write failed,
    // cmd.exe is gone) or whose tool run has gone on for kHungRunMs is ended
    // with its job and replaced by a fresh one in the tool folder. A younger
    // run is left alone: cmd.exe would read a command only after it. Logs what
    // it found and did.
    ConsoleRenewal RenewConsole();

    // True from a console's start until CloseConsole; false after a start that failed,
    // so that the next detection thread tries again.
    bool IsOpen() const { return m_input.IsValid(); }
    // True while a line typed is still in the pipe: cmd.exe has not read it yet.
    bool HasUnreadInput() const;
    // The tool's runs in this console's job.
    ToolRunWatch& Runs() { return m_runs; }

private:
    bool TakesCommands() const;
    // Why a console that holds no tool run takes no more commands, in words.
    std::wstring Fault() const;
    ConsoleRenewal ReplaceConsole(DWORD hungRun);
    // Lets go of the console: closing its job ends whatever is left in it.
    void ForgetConsole();
    // Before the second line of a fresh console, which Wine's cmd.exe may drop.
    bool StillStarting() const;
    bool WaitForLineSpacing(StopSignal& stop);

    bool m_detailedLog = false;
    std::wstring m_toolFolder;
    bool m_writeFailed = false;
    DWORD m_writeError = ERROR_SUCCESS;
    std::chrono::steady_clock::time_point m_started;
    std::chrono::steady_clock::time_point m_lastLine;
    unsigned m_linesTyped = 0;
    UniqueHandle m_input;
    // The pipe's read end as cmd.exe holds it: an inherited handle keeps its value in the child.
    HANDLE m_inputInConsole = nullptr;
    UniqueHandle m_job;
    UniqueProcessInformation m_process;
    ToolRunWatch m_runs;
};
