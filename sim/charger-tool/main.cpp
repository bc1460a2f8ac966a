// A stand-in for the charger chip vendor's ITERHPGen.exe: answers the program's read command by
// writing the value file, as a scenario beside it says. See README.md for the files it uses.

#include "base/TextCodec.h"
#include "sim/charger-tool/Scenario.h"
#include "sim/charger-tool/SimState.h"
#include "sim/charger-tool/ToolCommand.h"

#include <windows.h>
#include <shellapi.h>

#include <optional>
#include <string>
#include <vector>

using namespace chargersim;

namespace
{
const wchar_t kScenarioFile[] = L"sim-scenario.txt";
const wchar_t kStateFile[] = L"sim-state.txt";
const wchar_t kJournalFile[] = L"sim-journal.txt";
const wchar_t kOverrideFile[] = L"sim-override.txt";
const wchar_t kFaultFile[] = L"sim-fault.txt";
const wchar_t kOutputPathFile[] = L"OutputPath.ini";
const wchar_t kValueFile[] = L"ManualRead.bin";

enum ExitCode : int
{
    kExitOk = 0,
    kExitBadScenario = 2,
    kExitBadState = 3,
    kExitNoOutputPath = 4,
    kExitIoFailure = 5,
};

// Commands run one after another, so the state file is busy only for a moment; a run that
// cannot get it in this time reports it rather than waiting on.
constexpr ULONGLONG kStateLockTimeoutMs = 5000;
constexpr DWORD kStateLockRetryMs = 10;
constexpr DWORD kReadChunk = 64 * 1024;
constexpr DWORD kHangMs = 600 * 1000;
// What a crashed process ends with: an access violation.
constexpr UINT kCrashExitCode = 0xC0000005;
// What a "leave" run starts and leaves behind: ping.exe, 31 echoes a second apart.
constexpr wchar_t kLeftBehind[] = L"ping.exe -n 31 127.0.0.1";

Ticks Now()
{
    FILETIME now = {};
    GetSystemTimePreciseAsFileTime(&now);
    return static_cast<Ticks>((static_cast<ULONGLONG>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
}

Ticks ToTicks(const FILETIME& time)
{
    return static_cast<Ticks>((static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

// Up to the first zero byte, invalid sequences replaced: the program reads "OutputPath.ini" this way.
std::wstring FromUtf8UpToZero(const std::string& text)
{
    return FromUtf8(std::string_view(text).substr(0, text.find('\0')));
}

std::string ErrorText(DWORD code)
{
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length != 0 ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' '))
        text.pop_back();
    return "error " + std::to_string(code) + (text.empty() ? "" : ": " + ToUtf8(text));
}

// To standard error, where a test or a person running the tool by hand sees it, and to the debugger.
void Complain(const std::string& message)
{
    const std::string line = "ITERHPGen simulator: " + message + "\r\n";
    OutputDebugStringA(line.c_str());
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    if (GetConsoleMode(error, &mode))
    {
        const std::wstring wide = FromUtf8UpToZero(line);
        DWORD written = 0;
        WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    DWORD written = 0;
    WriteFile(error, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

bool ReadAll(HANDLE file, std::string& bytes, DWORD& error)
{
    bytes.clear();
    char chunk[kReadChunk];
    for (;;)
    {
        DWORD read = 0;
        if (!ReadFile(file, chunk, sizeof(chunk), &read, nullptr))
        {
            error = GetLastError();
            return false;
        }
        if (read == 0)
            return true;
        bytes.append(chunk, read);
    }
}

bool WriteAll(HANDLE file, const std::string& bytes, DWORD& error)
{
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr))
    {
        error = GetLastError();
        return false;
    }
    if (written != bytes.size())
    {
        error = ERROR_WRITE_FAULT;
        return false;
    }
    return true;
}

enum class FileRead
{
    Ok,
    Missing,
    Failed,
};

FileRead ReadWholeFile(const std::wstring& path, std::string& bytes, DWORD& error, Ticks* written = nullptr)
{
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? FileRead::Missing : FileRead::Failed;
    }
    bool ok = ReadAll(file, bytes, error);
    FILETIME lastWrite = {};
    if (ok && written != nullptr)
    {
        ok = GetFileTime(file, nullptr, nullptr, &lastWrite) != FALSE;
        if (!ok)
            error = GetLastError();
        *written = ToTicks(lastWrite);
    }
    CloseHandle(file);
    return ok ? FileRead::Ok : FileRead::Failed;
}

// The state file, opened without sharing for one read-modify-write, so that two runs never
// count the same command.
class LockedStateFile
{
public:
    LockedStateFile() = default;
    LockedStateFile(const LockedStateFile&) = delete;
    LockedStateFile& operator=(const LockedStateFile&) = delete;
    ~LockedStateFile() { Close(); }

    bool Open(const std::wstring& path, DWORD& error)
    {
        const ULONGLONG deadline = GetTickCount64() + kStateLockTimeoutMs;
        for (;;)
        {
            m_file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
            if (m_file != INVALID_HANDLE_VALUE)
                return true;
            error = GetLastError();
            if (error != ERROR_SHARING_VIOLATION || GetTickCount64() >= deadline)
                return false;
            Sleep(kStateLockRetryMs);
        }
    }

    bool Read(std::string& text, DWORD& error) { return ReadAll(m_file, text, error); }

    bool Replace(const std::string& text, DWORD& error)
    {
        if (SetFilePointer(m_file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
            !SetEndOfFile(m_file))
        {
            error = GetLastError();
            return false;
        }
        return WriteAll(m_file, text, error);
    }

    void Close()
    {
        if (m_file == INVALID_HANDLE_VALUE)
            return;
        CloseHandle(m_file);
        m_file = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_file = INVALID_HANDLE_VALUE;
};

// A reader must never catch the file half written: write a temporary file beside it and move it
// into place.
bool WriteValueFileReplacing(const std::wstring& path, std::uint8_t status, DWORD& error)
{
    const std::wstring temporary = path + L".sim" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        error = GetLastError();
        return false;
    }
    const bool written = WriteAll(file, std::string(1, static_cast<char>(status)), error);
    CloseHandle(file);
    if (written && MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        return true;
    if (written)
        error = GetLastError();
    DeleteFileW(temporary.c_str());
    return false;
}

// The held-open case: the file exists with its byte, but nobody may open it for reading yet.
HANDLE WriteValueFileHeld(const std::wstring& path, std::uint8_t status, DWORD& error)
{
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        error = GetLastError();
        return nullptr;
    }
    if (!WriteAll(file, std::string(1, static_cast<char>(status)), error))
    {
        CloseHandle(file);
        return nullptr;
    }
    FlushFileBuffers(file);
    return file;
}

std::wstring ToolFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;)
    {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return {};
        if (length < path.size())
        {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::vector<std::string> CommandArguments()
{
    std::vector<std::string> arguments;
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv == nullptr)
        return arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(ToUtf8(argv[i]));
    LocalFree(argv);
    return arguments;
}

// One command's handling: everything it decides ends up in one journal line.
class CommandRun
{
public:
    CommandRun() : m_received(Now()), m_folder(ToolFolder())
    {
        m_argumentsText = std::string(ArgumentsText(ToUtf8(GetCommandLineW())));
    }

    int Execute();

private:
    std::wstring Beside(const wchar_t* name) const { return m_folder + name; }
    std::string Shown(const wchar_t* name) const { return ToUtf8(Beside(name)); }
    int Finish(Outcome outcome, int exitCode, std::uint8_t status = 0,
               const std::optional<Ticks>& since = {});
    bool LoadScenario(Scenario& scenario);
    bool LoadOverride(std::optional<StatusOverride>& override, int& exitCode);
    int WriteAnswer(const Reading& reading);
    bool TakeFault(std::optional<Fault>& fault, int& exitCode);
    int PlayFault(Fault fault);
    void LeaveAProcess();

    Ticks m_received;
    std::wstring m_folder;
    std::string m_argumentsText;
};

int CommandRun::Finish(Outcome outcome, int exitCode, std::uint8_t status, const std::optional<Ticks>& since)
{
    const std::string line = JournalLine(m_received, m_argumentsText, outcome, status, since);
    const std::wstring path = Beside(kJournalFile);
    const HANDLE journal =
        CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = 0;
    bool written = false;
    if (journal == INVALID_HANDLE_VALUE)
    {
        error = GetLastError();
    }
    else
    {
        written = WriteAll(journal, line, error);
        CloseHandle(journal);
    }
    if (written)
        return exitCode;
    Complain("cannot append to " + ToUtf8(path) + " (" + ErrorText(error) + ")");
    return exitCode == kExitOk ? kExitIoFailure : exitCode;
}

bool CommandRun::LoadScenario(Scenario& scenario)
{
    std::string text;
    DWORD error = 0;
    switch (ReadWholeFile(Beside(kScenarioFile), text, error))
    {
    case FileRead::Missing:
        // No scenario: a charger that reports status 0 at 0x4E forever.
        text.clear();
        break;
    case FileRead::Failed:
        Complain("cannot read " + Shown(kScenarioFile) + " (" + ErrorText(error) + ")");
        return false;
    case FileRead::Ok:
        break;
    }
    ParseError parseError;
    if (ParseScenario(text, scenario, parseError))
        return true;
    Complain(Shown(kScenarioFile) + ":" + std::to_string(parseError.line) + ": " + parseError.message);
    return false;
}

bool CommandRun::LoadOverride(std::optional<StatusOverride>& override, int& exitCode)
{
    std::string text;
    DWORD error = 0;
    Ticks written = 0;
    switch (ReadWholeFile(Beside(kOverrideFile), text, error, &written))
    {
    case FileRead::Missing:
        return true;
    case FileRead::Failed:
        Complain("cannot read " + Shown(kOverrideFile) + " (" + ErrorText(error) + ")");
        exitCode = kExitIoFailure;
        return false;
    case FileRead::Ok:
        break;
    }
    StatusOverride value;
    value.written = written;
    ParseError parseError;
    if (!ParseOverride(text, value.answer, parseError))
    {
        Complain(Shown(kOverrideFile) + ":" + std::to_string(parseError.line) + ": " + parseError.message);
        exitCode = kExitBadState;
        return false;
    }
    override = value;
    return true;
}

// The fault file is deleted by the read that plays it, so it counts for one read only.
bool CommandRun::TakeFault(std::optional<Fault>& fault, int& exitCode)
{
    std::string text;
    DWORD error = 0;
    switch (ReadWholeFile(Beside(kFaultFile), text, error))
    {
    case FileRead::Missing:
        return true;
    case FileRead::Failed:
        Complain("cannot read " + Shown(kFaultFile) + " (" + ErrorText(error) + ")");
        exitCode = kExitIoFailure;
        return false;
    case FileRead::Ok:
        break;
    }
    DeleteFileW(Beside(kFaultFile).c_str());
    Fault value = Fault::Silent;
    ParseError parseError;
    if (!ParseFault(text, value, parseError))
    {
        Complain(Shown(kFaultFile) + ":" + std::to_string(parseError.line) + ": " + parseError.message);
        exitCode = kExitBadState;
        return false;
    }
    fault = value;
    return true;
}

// Started as a child of this run, so it is in the console's job as long as it lives.
void CommandRun::LeaveAProcess()
{
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring application = std::wstring(system) + L"\\ping.exe";
    std::wstring commandLine = kLeftBehind;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(application.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startup, &process))
    {
        Complain("cannot start " + ToUtf8(application) + " (" + ErrorText(GetLastError()) + ")");
        return;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

// Journal first: a test waits for the line, then looks at the run.
int CommandRun::PlayFault(Fault fault)
{
    switch (fault)
    {
    case Fault::Crash:
        Finish(Outcome::FaultCrash, kExitOk);
        TerminateProcess(GetCurrentProcess(), kCrashExitCode);
        return kExitOk;
    case Fault::Hang:
        Finish(Outcome::FaultHang, kExitOk);
        Sleep(kHangMs);
        return kExitOk;
    case Fault::Silent:
    case Fault::Leave:
        break;
    }
    return Finish(Outcome::FaultSilent, kExitOk);
}

int CommandRun::WriteAnswer(const Reading& reading)
{
    std::string folderBytes;
    DWORD error = 0;
    if (ReadWholeFile(Beside(kOutputPathFile), folderBytes, error) != FileRead::Ok)
    {
        Complain("cannot read " + Shown(kOutputPathFile) + " (" + ErrorText(error) + "), so no value file");
        return Finish(Outcome::FailedOutputPath, kExitNoOutputPath);
    }
    const std::wstring valuePath = FromUtf8UpToZero(folderBytes) + kValueFile;
    const std::uint8_t status = reading.answer.status;

    if (reading.delayMs > 0)
        Sleep(reading.delayMs);

    if (reading.holdMs == 0)
    {
        if (!WriteValueFileReplacing(valuePath, status, error))
        {
            Complain("cannot write " + ToUtf8(valuePath) + " (" + ErrorText(error) + ")");
            return Finish(Outcome::FailedWrite, kExitIoFailure);
        }
        return Finish(Outcome::Answered, kExitOk, status, reading.since);
    }

    const HANDLE held = WriteValueFileHeld(valuePath, status, error);
    if (held == nullptr)
    {
        Complain("cannot write " + ToUtf8(valuePath) + " (" + ErrorText(error) + ")");
        return Finish(Outcome::FailedWrite, kExitIoFailure);
    }
    // Journal first: a test waits for this line, then finds the file still held.
    const int exitCode = Finish(Outcome::Answered, kExitOk, status, reading.since);
    Sleep(reading.holdMs);
    CloseHandle(held);
    return exitCode;
}

int CommandRun::Execute()
{
    if (m_folder.empty())
    {
        Complain("cannot find its own folder (" + ErrorText(GetLastError()) + ")");
        return kExitIoFailure;
    }
    Scenario scenario;
    if (!LoadScenario(scenario))
        return Finish(Outcome::FailedScenario, kExitBadScenario);
    const CommandKind kind = ClassifyCommand(CommandArguments(), scenario.address);

    LockedStateFile stateFile;
    std::string stateText;
    DWORD error = 0;
    if (!stateFile.Open(Beside(kStateFile), error) || !stateFile.Read(stateText, error))
    {
        Complain("cannot use " + Shown(kStateFile) + " (" + ErrorText(error) + ")");
        return Finish(Outcome::FailedIo, kExitIoFailure);
    }
    SimState state;
    ParseError parseError;
    if (!ParseState(stateText, state, parseError))
    {
        Complain(Shown(kStateFile) + ":" + std::to_string(parseError.line) + ": " + parseError.message +
                 " (delete the file to start afresh)");
        return Finish(Outcome::FailedState, kExitBadState);
    }
    const std::uint64_t freshSeed =
        static_cast<std::uint64_t>(m_received) ^ (static_cast<std::uint64_t>(GetCurrentProcessId()) << 40);
    CountCommand(state, m_received, freshSeed);

    Reading reading;
    std::optional<StatusOverride> override;
    if (kind == CommandKind::Read)
    {
        int exitCode = kExitOk;
        if (!LoadOverride(override, exitCode))
            return Finish(exitCode == kExitBadState ? Outcome::FailedState : Outcome::FailedIo, exitCode);
        std::string reason;
        if (!DecideRead(scenario, state, m_received, override, reading, reason))
        {
            Complain(reason);
            return Finish(Outcome::FailedState, kExitBadState);
        }
    }
    if (!stateFile.Replace(FormatState(state), error))
    {
        Complain("cannot write " + Shown(kStateFile) + " (" + ErrorText(error) + ")");
        return Finish(Outcome::FailedIo, kExitIoFailure);
    }
    stateFile.Close();

    if (kind == CommandKind::OtherAddress)
        return Finish(Outcome::SilentAddress, kExitOk);
    if (kind == CommandKind::OtherArguments)
        return Finish(Outcome::SilentArguments, kExitOk);
    std::optional<Fault> fault;
    int faultExitCode = kExitOk;
    if (!TakeFault(fault, faultExitCode))
        return Finish(faultExitCode == kExitBadState ? Outcome::FailedState : Outcome::FailedIo,
                      faultExitCode);
    if (fault == Fault::Leave)
        LeaveAProcess();
    else if (fault)
        return PlayFault(*fault);
    if (!reading.answer.answers)
        return Finish(Outcome::SilentStep, kExitOk, 0, reading.since);
    return WriteAnswer(reading);
}
} // namespace

int main()
{
    CommandRun run;
    return run.Execute();
}
