#include "detection/ChargerReading.h"

#include "detection/DetectionEvents.h"
#include "detection/PollingFigures.h"
#include "detection/ValueFile.h"
#include "logging/ApacheLogger.h"

namespace
{
constexpr int kTriesPerAddress = 3;
const UINT32 kSlaveAddrCandidates[] = {0x4E, 0x40};
} // namespace

bool Preprocessing(DetectionState& state, StopSignal& stop)
{
    const bool detailed = state.settings.detailedLog;
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Preprocessing] in.");
    std::wstring valueFolder;
    const bool found = GetValueFileFolder(state.ToolFolder(), detailed, valueFolder);
    if (detailed)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Preprocessing] GetValueFilePath() -> %ws",
                 valueFolder.c_str());
    }
    if (found)
    {
        state.resultFilename = valueFolder + L"ManualRead.bin";
        if (detailed)
        {
            VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Preprocessing] _resultFilename -> %ws",
                     state.resultFilename.c_str());
        }
        state.console.ChangeConsoleCurrentDir2ToolDir(stop);
    }
    else
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::Preprocessing] Unable to get the value file path !!!");
    }
    ReportIfToolUnusable(state.ToolFolder(), found ? valueFolder : std::wstring());
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Preprocessing] out.");
    return found;
}

namespace
{
// Deletes the value file and types the command; false when the thread was stopped before it was typed.
bool TypeCommand(DetectionState& state, UINT32 addr, StopSignal& stop)
{
    const bool detailed = state.settings.detailedLog;
    if (detailed)
    {
        VWN_LOGA(
            "[ChipAccessHelper][ChipAccessHelper::SendCommand2SlaveAddress] Deleting the value file ...");
    }
    DeleteTargetFile(state.resultFilename, detailed);
    if (detailed)
    {
        VWN_LOGA("[ChipAccessHelper][ChipAccessHelper::SendCommand2SlaveAddress] Sending command ...");
    }
    wchar_t cmd[64] = {};
    wsprintfW(cmd, L"ITERHPGen.exe 0x%X 1 W 1 1 D8\n", addr);
    if (detailed)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::SendCommand2SlaveAddress] _cmd -> %ws ", cmd);
    }
    state.console.WriteToConsole(std::wstring(cmd), stop);
    state.lastCommandAt = GetTickCount64();
    return !stop.Stopped();
}

void LogCommandSent()
{
    VWN_LOGA("[ChipAccessHelper][ChipAccessHelper::SendCommand2SlaveAddress] Sending command - done.");
}

bool ToolIsThere(const DetectionState& state)
{
    const DWORD attributes = GetFileAttributesW((state.ToolFolder() + kToolImage).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void LogRunOutlastsProbe(DetectionState& state, DWORD run)
{
    VWN_LOGW(
        L"[ChipAccessHelper][ChipAccessHelper::DetectSlaveAddress] @@@@@ %ws has not ended: no more probes until the next resend !!! @@@@@",
        state.console.Runs().Describe(run).c_str());
}
} // namespace

RunWait SendCommand2SlaveAddress(DetectionState& state, UINT32 addr, StopSignal& stop, DWORD& run)
{
    ToolRunWatch& runs = state.console.Runs();
    const RunWait earlier = runs.WaitUntilNoRun(stop, run);
    if (earlier != RunWait::Ended)
    {
        return earlier;
    }
    const unsigned runsBefore = runs.RunsStarted();
    if (!TypeCommand(state, addr, stop))
    {
        return RunWait::Stopped;
    }
    const RunWait own = runs.WaitForRunOf(
        runsBefore, ToolIsThere(state) ? kRunStartWaitMs : kToolAnswerWaitMs,
        [&state] { return state.console.HasUnreadInput(); }, stop, run);
    LogCommandSent();
    return own;
}

ProbeTry DoReadPresenceStatus(DetectionState& state, UINT32 addr, const std::wstring& resultFilename,
                              StopSignal& stop)
{
    const bool detailed = state.settings.detailedLog;
    if (detailed)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DoReadPresenceStatus] _addr(0x%X)", addr);
    }
    ProbeTry probe;
    probe.run = SendCommand2SlaveAddress(state, addr, stop, probe.runStillGoing);
    if (probe.run == RunWait::StillGoing || probe.run == RunWait::Stopped)
    {
        return probe;
    }
    BYTE read = 0;
    probe.answered = ReadQcPdPresenceStatusFromFile(resultFilename, read);
    if (detailed)
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::DoReadPresenceStatus] _valueFilename -> %ws, _value(%d), _result(%d)",
            resultFilename.c_str(), read, probe.answered ? 1 : 0);
    }
    probe.value = probe.answered ? read : 0;
    return probe;
}

ProbeEnd DetectSlaveAddress(DetectionState& state, StopSignal& stop)
{
    const std::wstring resultFilename = state.resultFilename;
    ProbeEnd end = ProbeEnd::NoAnswer;
    for (const UINT32 address : kSlaveAddrCandidates)
    {
        for (int attempt = 0; attempt < kTriesPerAddress && end == ProbeEnd::NoAnswer; ++attempt)
        {
            const ProbeTry probe = DoReadPresenceStatus(state, address, resultFilename, stop);
            if (probe.run == RunWait::Stopped)
            {
                end = ProbeEnd::Stopped;
            }
            else if (probe.run == RunWait::StillGoing)
            {
                LogRunOutlastsProbe(state, probe.runStillGoing);
                end = ProbeEnd::RunGoing;
            }
            else if (probe.answered)
            {
                state.slaveAddr = address;
                end = ProbeEnd::Found;
            }
            if (state.settings.detailedLog && end != ProbeEnd::Stopped && end != ProbeEnd::RunGoing)
            {
                VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DetectSlaveAddress] _addr(0x%X), _value",
                         address);
            }
        }
        if (end != ProbeEnd::NoAnswer)
        {
            break;
        }
    }
    if (end != ProbeEnd::Stopped)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DetectSlaveAddress] _addr(0x%X) detected.",
                 state.slaveAddr);
    }
    if (end == ProbeEnd::NoAnswer)
    {
        ReportNoChip(kSlaveAddrCandidates[0], kSlaveAddrCandidates[1]);
    }
    return end;
}
