#pragma once

#include "base/UniqueHandle.h"

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

    // One write call per command; the wide form sends the low bytes.
    bool WriteToConsole(const std::string& text);
    bool WriteToConsole(const std::wstring& text);
    // Types the "cd" into the tool folder; true when the line reached the pipe.
    bool ChangeConsoleCurrentDir2ToolDir();
    // Types "exit" and closes the pipe, gives the console a moment to end, then
    // closes the job, which ends whatever of it is left; does nothing when it is closed.
    void CloseConsole();
    // A console that takes no more commands (a write failed, cmd.exe is gone)
    // or that waits on a tool run of an earlier command is ended with its job
    // and replaced by a fresh one in the tool folder. True when it was replaced
    // and the fresh one took its "cd"; logs what it found and did.
    bool RenewIfStuck();

private:
    bool TakesCommands() const;
    // Why a console that holds no tool run takes no more commands, in words.
    std::wstring Fault() const;
    // The process id of a tool run still going in the console's job, or 0.
    DWORD StillRunningToolRun() const;
    void WaitForLineSpacing();

    bool m_detailedLog = false;
    std::wstring m_toolFolder;
    bool m_writeFailed = false;
    DWORD m_writeError = ERROR_SUCCESS;
    std::chrono::steady_clock::time_point m_started;
    std::chrono::steady_clock::time_point m_lastLine;
    unsigned m_linesTyped = 0;
    UniqueHandle m_input;
    UniqueHandle m_job;
    UniqueProcessInformation m_process;
};
