#include "app/EndReason.h"
#include "app/ExitRunning.h"
#include "app/Globals.h"
#include "app/GlobalMutex.h"
#include "app/Options.h"
#include "app/PowerSource.h"
#include "app/QuitRequest.h"
#include "app/WndProc.h"
#include "app/resource.h"
#include "app/CadencePolicy.h"
#include "app/ChargingToast.h"
#include "detection/ChipAccessHelper.h"
#include "base/NamedEvent.h"
#include "install/VersionNumber.h"
#include "logging/ApacheLogger.h"
#include "logging/EventReports.h"
#include "logging/LogFileSetting.h"
#include "toast/NotifierIdentity.h"
#include "logging/DebuggerLine.h"
#include "logging/LastErrorText.h"

#include <atomic>
#include <cstdlib>
#include <exception>
#include <string>

namespace
{
constexpr int kFailedStartExitCode = -1;
constexpr DWORD kReleaseWaitMs = 1000;
constexpr int kTitleChars = 100;

wchar_t g_windowTitle[kTitleChars];
wchar_t g_windowClass[kTitleChars];

// The executable's folder with its trailing backslash; empty when the path has none.
std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    const size_t slash = folder.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

void LogStartupFailure(const wchar_t* step, const std::exception& error)
{
    VWN_LOGW(L"[Voltwren][wWinMain] @@@@@ %ws failed (%hs) !!! @@@@@", step, error.what());
}

// Off until the command line is read. The first lookup runs at the first log line,
// before that; an empty registry value leaves nothing cached, so later lookups run
// again, on any thread, and must see the real setting.
std::atomic<bool> s_detailedVersionLookup{false};

// The logger's name carries the installed version.
std::string InstalledVersion()
{
    return getVersionNumber(s_detailedVersionLookup.load());
}

void InitLogging(const std::wstring& workingDir)
{
    // A running instance's start already judged the log folder, and its log is
    // being written there: a second start, refused later on, must not reset it.
    ApacheLogger::Init(workingDir, InstalledVersion, !GlobalMutex::ExistsAlready());
    ApacheLogger::Configure(workingDir + L"log4cxx.properties");
}

void CreateSingleInstanceMutex()
{
    VWN_LOGW(L"[Voltwren][wWinMain] Creating mutex ...");
    GlobalMutex::Instance();
    const DWORD code = GetLastError();
    VWN_LOGW(L"[Voltwren][wWinMain] %ws", LastErrorText(code).c_str());
    if (code != 0)
    {
        std::exit(kFailedStartExitCode);
    }
    VWN_LOGW(L"[Voltwren][wWinMain] Creating mutex - done.");
}

void LogTakenReleaseEventName()
{
    VWN_LOGW(
        L"[Voltwren][wWinMain] @@@@@ The event vwn_chipAaccessHelper belongs to another program !!! @@@@@");
    VWN_LOGW(L"[Voltwren][wWinMain] %ws", LastErrorText(ERROR_ALREADY_EXISTS).c_str());
}

void CreateReleaseEvent()
{
    VWN_LOGW(L"[Voltwren][wWinMain] Creating event objects ...");
    NamedEvent created = CreateNamedEvent(L"vwn_chipAaccessHelper", true);
    // Another program could set an event of its own and cut the wait at shut-down short.
    if (created.error == ERROR_ALREADY_EXISTS)
    {
        LogTakenReleaseEventName();
        created.event.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (created.event)
        {
            VWN_LOGW(L"[Voltwren][wWinMain] Going on with an unnamed event.");
        }
    }
    g_chipAccessHelperEvent = std::move(created.event);
    if (!g_chipAccessHelperEvent)
    {
        const wchar_t* failed = L"[Voltwren][wWinMain] @@@@@ Creating event objects - FAILED ! @@@@@";
        OutputDebugStringW(failed);
        VWN_LOGW(L"%ws", failed);
        std::exit(kFailedStartExitCode);
    }
    VWN_LOGW(L"[Voltwren][wWinMain] Creating event objects - done.");
}

// Returns whether detailed mode is on.
bool ProcessCommandLine(const std::wstring& workingDir)
{
    VWN_LOGW(L"[Voltwren][wWinMain] Processing command-line args ...");
    const bool detailedLog = ApplyCommandLineOptions(GetCmdLineArgs());
    s_detailedVersionLookup.store(detailedLog);
    if (detailedLog)
    {
        DebuggerLine(L"[Voltwren][wWinMain] _workingDir -> %ws (output via OutputDebugString())",
                     workingDir.c_str());
        VWN_LOGW(L"[Voltwren][wWinMain] _workingDir -> %ws", workingDir.c_str());
    }
    VWN_LOGW(L"[Voltwren][wWinMain] Processing command-line args - done.");
    return detailedLog;
}

// What a fleet sees of the start; the events that the start held back follow it.
void ReportStarted(const std::wstring& workingDir)
{
    const std::wstring arguments = ArgumentsAfterProgram(GetCommandLineW());
    std::wstring logFile = L"none: no log library";
    if (ApacheLogger::IsBound())
    {
        logFile = ConfiguredLogFile(workingDir + L"log4cxx.properties");
        logFile = logFile.empty() ? L"none named in log4cxx.properties" : logFile;
    }
    ReportToEventLog(VoltwrenEvent::kStarted,
                     {L"" VWN_PROGRAM_VERSION, arguments.empty() ? L"none" : arguments, logFile});
}

void GiveUp()
{
    NoteEndReason(EndReason::GaveUp);
    PostQuitToMainWindow();
}

// Detection tells the entry point through the release event that it let go.
void SignalDetectionReleased()
{
    if (g_chipAccessHelperEvent)
    {
        SetEvent(g_chipAccessHelperEvent.Get());
    }
}

DetectionSettings MakeDetectionSettings(const std::wstring& workingDir, bool detailedLog)
{
    DetectionSettings settings;
    settings.detailedLog = detailedLog;
    settings.callbacks.chargingTypeChanged = [workingDir](BYTE chargingType)
    { ShowChargingTypeToast(chargingType, workingDir); };
    settings.callbacks.gaveUp = GiveUp;
    settings.callbacks.released = SignalDetectionReleased;
    settings.callbacks.registerToastIdentity = [](const std::wstring& programFolder)
    {
        NotifierIdentity::Register(L"Tessaly.VoltwrenPowerBeacon", L"Tessaly Voltwren",
                                   programFolder + L"notification_icon.png");
    };
    settings.callbacks.unregisterToastIdentity = NotifierIdentity::Unregister;
    settings.cadence = ReadCadencePolicy();
    return settings;
}

void StartDetection(const std::wstring& workingDir, bool detailedLog)
{
    ChipAccessHelper& helper = ChipAccessHelper::Instance();
    helper.Configure(MakeDetectionSettings(workingDir, detailedLog));
    try
    {
        helper.SetWorkingDir(workingDir);
    }
    catch (const std::exception& error)
    {
        LogStartupFailure(L"ChipAccessHelper::SetWorkingDir()", error);
    }
    // On battery the thread starts paused, until mains power returns: nothing of the
    // tool starts before it, not even its console.
    helper.OnPowerSource(CurrentACLineStatus(), g_readPresenceStatusRetryCount);
    helper.Run(g_readPresenceStatusRetryCount);
}

// The window shows only in detailed mode.
HWND CreateMainWindow(HINSTANCE instance, int showCommand, bool detailedLog)
{
    LoadStringW(instance, IDS_APP_TITLE, g_windowTitle, kTitleChars - 1);
    LoadStringW(instance, IDC_VOLTWREN, g_windowClass, kTitleChars - 1);

    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WndProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_VOLTWREN));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszMenuName = MAKEINTRESOURCEW(IDC_VOLTWREN);
    windowClass.lpszClassName = g_windowClass;
    windowClass.hIconSm = LoadIconW(instance, MAKEINTRESOURCEW(IDI_SMALL));
    RegisterClassExW(&windowClass);

    g_hInstance = instance;
    HWND window = CreateWindowExW(0, g_windowClass, g_windowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                  CW_USEDEFAULT, 0, nullptr, nullptr, instance, nullptr);
    if (window == nullptr)
    {
        return nullptr;
    }
    SetMainWindow(window);
    ShowWindow(window, detailedLog ? showCommand : SW_HIDE);
    UpdateWindow(window);
    return window;
}

// After a crash or a hang of a run of 60 s or more, Windows Error Reporting offers the
// user a restart with the arguments of this run; it never restarts without consent.
// Not after a reboot: the Run key starts it then, and a second start would only be
// refused. Our setups end the program before replacing files, so Restart Manager
// finds nothing of it to close or restart. Endings on purpose are not restarted.
void RegisterForRestart()
{
    const std::wstring arguments = ArgumentsAfterProgram(GetCommandLineW());
    const HRESULT hr = RegisterApplicationRestart(arguments.c_str(), RESTART_NO_REBOOT);
    VWN_LOGW(
        L"[Voltwren][wWinMain] RegisterApplicationRestart(\"%ws\", RESTART_NO_REBOOT): HRESULT(0x%08lX).",
        arguments.c_str(), static_cast<unsigned long>(hr));
    if (FAILED(hr))
    {
        ReportToEventLog(VoltwrenEvent::kRestartNotRegistered, {HresultInsert(hr)});
    }
}

// Only 0 (WM_QUIT) ends the loop; -1 is an error for one message, not the end.
int RunMessageLoop(HINSTANCE instance)
{
    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDC_VOLTWREN));
    MSG message = {};
    while (GetMessageW(&message, nullptr, 0, 0) != 0)
    {
        if (!TranslateAcceleratorW(message.hwnd, accelerators, &message))
        {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

int ShutDown(int exitCode)
{
    VWN_LOGW(L"[Voltwren][wWinMain] @@@@@ WM_QUIT RECEIVED. @@@@@\n");
    ChipAccessHelper::Instance().Release();
    const DWORD waited = WaitForSingleObject(g_chipAccessHelperEvent.Get(), kReleaseWaitMs);
    if (waited != WAIT_OBJECT_0)
    {
        DebuggerLine(L"[Voltwren][wWinMain] _event = 0x%08x (output via OutputDebugString())", waited);
        VWN_LOGW(L"[Voltwren][wWinMain] _event = 0x%08x (output via OutputDebugString())", waited);
    }
    g_chipAccessHelperEvent.Reset();
    GlobalMutex::Instance().Release();
    ReportEnded();
    return exitCode;
}
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    // Before the log folder is judged and the mutex taken: both belong to the running one.
    if (HasExitSwitch(SplitCommandLine()))
    {
        return ExitRunningProgram(instance);
    }
    const std::wstring workingDir = ProgramFolder();
    InitLogging(workingDir);
    VWN_LOGW(L"[Voltwren][wWinMain] @@@@@ MAIN ENTRY @@@@@");

    CreateSingleInstanceMutex();
    CreateReleaseEvent();
    const bool detailedLog = ProcessCommandLine(workingDir);
    ReportStarted(workingDir);

    // The window first: -exit, the setups and Restart Manager find the program by it, and
    // a stop or the end of the session is answered from the first second, however long
    // the tool's console and the probes take on the detection thread.
    if (CreateMainWindow(instance, showCommand, detailedLog) == nullptr)
    {
        const DWORD code = GetLastError();
        VWN_LOGW(L"[Voltwren][wWinMain] @@@@@ Creating the main window - FAILED ! @@@@@");
        VWN_LOGW(L"[Voltwren][wWinMain] %ws", LastErrorText(code).c_str());
        return kFailedStartExitCode;
    }
    RegisterForRestart();
    StartDetection(workingDir, detailedLog);
    return ShutDown(RunMessageLoop(instance));
}
