#include "detection/ToolConsole.h"

#include "detection/DetectionEvents.h"
#include "logging/ApacheLogger.h"
#include "logging/LastErrorText.h"

#include <algorithm>
#include <vector>

namespace
{
constexpr wchar_t kConsoleSwitches[] = L" /D /E:ON /V:OFF";
// How long a console that was told "exit" may take to end before its job ends it.
constexpr DWORD kConsoleExitWaitMs = 1000;

std::wstring SystemConsolePath()
{
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    const std::wstring system = (length > 0 && length < MAX_PATH) ? folder : L"C:\\Windows\\System32";
    return system + L"\\cmd.exe";
}

// The name of a "NAME=value" entry. Entries such as "=C:=C:\dir" start with "=".
std::wstring EntryName(const std::wstring& entry)
{
    const size_t equals = entry.find(L'=', 1);
    return entry.substr(0, equals);
}

int CompareNames(const std::wstring& left, const std::wstring& right)
{
    return CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                static_cast<int>(right.size()), TRUE);
}

// Only the pipe's read end is handed on, and only to this one process.
class InheritOnly
{
public:
    explicit InheritOnly(HANDLE handle) : m_handles{handle}
    {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        m_storage.resize(size);
        auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(m_storage.data());
        if (size == 0 || !InitializeProcThreadAttributeList(list, 1, 0, &size))
        {
            return;
        }
        m_list = list;
        if (!UpdateProcThreadAttribute(m_list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, m_handles,
                                       sizeof(m_handles), nullptr, nullptr))
        {
            DeleteProcThreadAttributeList(m_list);
            m_list = nullptr;
        }
    }
    ~InheritOnly()
    {
        if (m_list != nullptr)
        {
            DeleteProcThreadAttributeList(m_list);
        }
    }
    InheritOnly(const InheritOnly&) = delete;
    InheritOnly& operator=(const InheritOnly&) = delete;

    // Null when the system could not make the list; the read end is then the
    // only handle of ours that is inheritable at all.
    LPPROC_THREAD_ATTRIBUTE_LIST List() const { return m_list; }

private:
    HANDLE m_handles[1];
    std::vector<BYTE> m_storage;
    LPPROC_THREAD_ATTRIBUTE_LIST m_list = nullptr;
};

// A job that ends every process in it when its last handle closes.
UniqueHandle CreateKillOnCloseJob()
{
    UniqueHandle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (job &&
        !SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof(limits)))
    {
        job.Reset();
    }
    return job;
}

// Started suspended, so that the console is in the job before it can start anything.
UniqueProcessInformation LaunchConsole(HANDLE input, HANDLE job, const ConsoleLaunch& launch)
{
    if (!SetHandleInformation(input, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT))
    {
        return UniqueProcessInformation();
    }
    const InheritOnly inherit(input);
    // Zeroed: no standard handles of ours, no reserved fields.
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = launch.startupFlags;
    startup.StartupInfo.wShowWindow = launch.showWindow;
    startup.StartupInfo.hStdInput = input;
    startup.lpAttributeList = inherit.List();
    const DWORD flags = launch.creationFlags | CREATE_SUSPENDED |
                        (inherit.List() != nullptr ? EXTENDED_STARTUPINFO_PRESENT : 0);

    std::wstring commandLine = launch.commandLine;
    std::wstring environment = launch.environment;
    const wchar_t* directory = launch.currentDirectory.empty() ? nullptr : launch.currentDirectory.c_str();
    UniqueProcessInformation process;
    if (!CreateProcessW(launch.application.c_str(), &commandLine[0], nullptr, nullptr, TRUE, flags,
                        &environment[0], directory, &startup.StartupInfo, process.Put()))
    {
        return UniqueProcessInformation();
    }
    if (!AssignProcessToJobObject(job, process.Process()))
    {
        const DWORD code = GetLastError();
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::CreatePipeRedirectedConsole] @@@@@ The console is not in a job: it may outlive the program, error(%u) !!! @@@@@",
            static_cast<unsigned>(code));
    }
    ResumeThread(process.Thread());
    return process;
}

} // namespace

ConsoleLaunch DescribeConsoleLaunch(bool visible, const std::wstring& toolFolder)
{
    ConsoleLaunch launch;
    launch.application = SystemConsolePath();
    launch.commandLine = L"\"" + launch.application + L"\"" + kConsoleSwitches;
    launch.creationFlags = CREATE_UNICODE_ENVIRONMENT | (visible ? CREATE_NEW_CONSOLE : CREATE_NO_WINDOW);
    launch.startupFlags = STARTF_USESTDHANDLES | (visible ? STARTF_USESHOWWINDOW : 0);
    launch.showWindow = visible ? SW_SHOWNORMAL : SW_HIDE;
    // Starting in the tool folder needs no typed path at all. Wine's cmd expands
    // "%NAME%" again inside a variable's value (Windows' cmd does not), so there
    // the typed "cd" alone would miss a folder such as "p%OS%q".
    const DWORD attributes = GetFileAttributesW(toolFolder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    {
        launch.currentDirectory = toolFolder;
    }

    wchar_t* current = GetEnvironmentStringsW();
    launch.environment = EnvironmentBlockWith(current, kToolDirVariable, toolFolder);
    if (current != nullptr)
    {
        FreeEnvironmentStringsW(current);
    }
    return launch;
}

std::wstring EnvironmentBlockWith(const wchar_t* environment, const std::wstring& name,
                                  const std::wstring& value)
{
    std::vector<std::wstring> entries;
    for (const wchar_t* entry = environment; entry != nullptr && *entry != L'\0'; entry += wcslen(entry) + 1)
    {
        if (CompareNames(EntryName(entry), name) != CSTR_EQUAL)
        {
            entries.emplace_back(entry);
        }
    }
    auto at = entries.begin();
    while (at != entries.end() && CompareNames(EntryName(*at), name) == CSTR_LESS_THAN)
    {
        ++at;
    }
    entries.insert(at, name + L"=" + value);

    std::wstring block;
    for (const std::wstring& entry : entries)
    {
        block += entry;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

std::string NarrowToLowBytes(const std::wstring& text)
{
    std::string bytes;
    bytes.reserve(text.size());
    for (wchar_t c : text)
    {
        bytes += static_cast<char>(static_cast<unsigned char>(c & 0xFF));
    }
    return bytes;
}

void ToolConsole::CreatePipeRedirectedConsole(const std::wstring& toolFolder, bool detailedLog)
{
    m_detailedLog = detailedLog;
    m_toolFolder = toolFolder;
    m_writeFailed = false;
    m_started = std::chrono::steady_clock::now();
    m_linesTyped = 0;
    // Neither end is inheritable when made; the launch hands on the read end alone.
    UniqueHandle readEnd;
    m_job = CreateKillOnCloseJob();
    if (CreatePipe(readEnd.Put(), m_input.Put(), nullptr, 0))
    {
        m_inputInConsole = readEnd.Get();
        m_process =
            LaunchConsole(readEnd.Get(), m_job.Get(), DescribeConsoleLaunch(m_detailedLog, toolFolder));
    }
    const bool started = m_process.IsValid();
    if (!started)
    {
        m_input.Reset();
        m_job.Reset();
    }
    m_runs.Watch(m_job.Get(), started ? GetProcessId(m_process.Process()) : 0);
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::CreatePipeRedirectedConsole] _result -> %d",
             started ? 1 : 0);
}

bool ToolConsole::WriteToConsole(const std::string& text, StopSignal& stop)
{
    if (!WaitForLineSpacing(stop))
    {
        return false;
    }
    if (m_detailedLog)
    {
        const std::string line =
            "[ChipAccessHelper][ChipAccessHelper::WriteToConsole] outputString -> " + text;
        ApacheLogger::WriteA(ApacheLogger::GetLogger(L"vwn"), line.c_str());
    }
    DWORD written = 0;
    const bool result = m_input.IsValid() && WriteFile(m_input.Get(), text.data(),
                                                       static_cast<DWORD>(text.size()), &written, nullptr);
    const DWORD code = m_input.IsValid() ? GetLastError() : ERROR_INVALID_HANDLE;
    m_lastLine = std::chrono::steady_clock::now();
    ++m_linesTyped;
    if (!result && !m_writeFailed)
    {
        // Once per console: every later line fails the same way until it is replaced.
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::WriteToConsole] @@@@@ The console takes no more commands: %ws !!! @@@@@",
            LastErrorText(code).c_str());
        m_writeError = code;
    }
    m_writeFailed = m_writeFailed || !result;
    if (m_detailedLog)
    {
        ApacheLogger::WriteW(ApacheLogger::GetLogger(L"vwn"),
                             result ? L"[ChipAccessHelper][ChipAccessHelper::WriteToConsole] _result -> 1"
                                    : L"[ChipAccessHelper][ChipAccessHelper::WriteToConsole] _result -> 0");
    }
    return result;
}

bool ToolConsole::WriteToConsole(const std::wstring& text, StopSignal& stop)
{
    return WriteToConsole(NarrowToLowBytes(text), stop);
}

bool ToolConsole::WriteToConsole(const std::string& text)
{
    StopSignal none;
    return WriteToConsole(text, none);
}

bool ToolConsole::ChangeConsoleCurrentDir2ToolDir(StopSignal& stop)
{
    VWN_LOGW(
        L"[ChipAccessHelper][ChipAccessHelper::ChangeConsoleCurrentDir2ToolDir] CD to the dir in which the tool resides ...");
    // Quoted and with /d: the folder may hold "&" or parentheses, or lie on another drive.
    const std::wstring cmd = std::wstring(L"cd /d \"%") + kToolDirVariable + L"%\"\n";
    if (m_detailedLog)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::ChangeConsoleCurrentDir2ToolDir] _cmd -> %ws",
                 cmd.c_str());
    }
    const bool result = WriteToConsole(cmd, stop);
    if (result)
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::ChangeConsoleCurrentDir2ToolDir] CD to the dir in which the tool resides - done.");
    }
    else
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::ChangeConsoleCurrentDir2ToolDir] CD to the dir in which the tool resides - failed !!!");
    }
    return result;
}

void ToolConsole::CloseConsole()
{
    if (!m_input.IsValid())
    {
        return;
    }
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::CloseConsole] Closing the console ...");
    // A console still starting could drop the line; the end of its input ends it all the same.
    if (!StillStarting())
    {
        WriteToConsole(std::string("exit\n"));
    }
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::CloseConsole] Closing the console - done.\n");
    m_input.Reset();
    WaitForSingleObject(m_process.Process(), kConsoleExitWaitMs);
    ForgetConsole();
}

// Only a read end tells what is left in a pipe, and one of our own would keep a write to a
// console that is gone from failing: the console's own is borrowed for the one look.
bool ToolConsole::HasUnreadInput() const
{
    UniqueHandle readEnd;
    DWORD unread = 0;
    return m_process.IsValid() &&
           DuplicateHandle(m_process.Process(), m_inputInConsole, GetCurrentProcess(), readEnd.Put(), 0,
                           FALSE, DUPLICATE_SAME_ACCESS) &&
           PeekNamedPipe(readEnd.Get(), nullptr, 0, nullptr, &unread, nullptr) && unread > 0;
}

void ToolConsole::ForgetConsole()
{
    m_runs.Watch(nullptr, 0);
    m_input.Reset();
    m_job.Reset();
    m_process.Reset();
}

bool ToolConsole::StillStarting() const
{
    return m_linesTyped > 0 &&
           std::chrono::steady_clock::now() < m_started + std::chrono::milliseconds(kConsoleStartMs);
}

bool ToolConsole::WaitForLineSpacing(StopSignal& stop)
{
    if (m_linesTyped == 0)
    {
        return !stop.Stopped();
    }
    const auto due = std::max(m_lastLine + std::chrono::milliseconds(kLineSpacingMs),
                              m_started + std::chrono::milliseconds(kConsoleStartMs));
    const auto now = std::chrono::steady_clock::now();
    const auto wait = now < due ? std::chrono::ceil<std::chrono::milliseconds>(due - now).count() : 0;
    return !stop.Wait(static_cast<DWORD>(wait));
}

bool ToolConsole::TakesCommands() const
{
    return m_input.IsValid() && !m_writeFailed && m_process.IsValid() &&
           WaitForSingleObject(m_process.Process(), 0) == WAIT_TIMEOUT;
}

std::wstring ToolConsole::Fault() const
{
    DWORD exitCode = 0;
    if (m_writeFailed)
    {
        return L"the console took no more commands: " + LastErrorText(m_writeError);
    }
    if (m_process.IsValid() && GetExitCodeProcess(m_process.Process(), &exitCode) && exitCode != STILL_ACTIVE)
    {
        return L"cmd.exe had ended with exit code " + std::to_wstring(exitCode);
    }
    return L"there was no console";
}

ConsoleRenewal ToolConsole::RenewConsole()
{
    const DWORD toolRun = m_runs.RunGoing();
    if (toolRun != 0 && !m_runs.IsHung(toolRun))
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::RenewConsole] %ws of an earlier command is still going: it is left to answer, and nothing is typed meanwhile.",
            m_runs.Describe(toolRun).c_str());
        return ConsoleRenewal::RunGoing;
    }
    if (toolRun == 0 && TakesCommands())
    {
        return ConsoleRenewal::Kept;
    }
    return ReplaceConsole(toolRun);
}

ConsoleRenewal ToolConsole::ReplaceConsole(DWORD hungRun)
{
    if (hungRun != 0)
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::RenewConsole] @@@@@ %ws of an earlier command still holds the console: ending both !!! @@@@@",
            m_runs.Describe(hungRun).c_str());
    }
    ReportConsoleRenewed(hungRun != 0 ? m_runs.Describe(hungRun) + L" hung and was ended" : Fault());
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::RenewConsole] Starting a fresh console ...");
    // Closing the kill-on-close job ends cmd.exe and whatever it started, other
    // processes than the tool's runs included.
    ForgetConsole();
    CreatePipeRedirectedConsole(m_toolFolder, m_detailedLog);
    // The first line of a fresh console waits for nothing.
    StopSignal none;
    const bool renewed = m_process.IsValid() && ChangeConsoleCurrentDir2ToolDir(none);
    VWN_LOGW(
        renewed
            ? L"[ChipAccessHelper][ChipAccessHelper::RenewConsole] Starting a fresh console - done."
            : L"[ChipAccessHelper][ChipAccessHelper::RenewConsole] Starting a fresh console - failed !!!");
    return renewed ? ConsoleRenewal::Renewed : ConsoleRenewal::Failed;
}
