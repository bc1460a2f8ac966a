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
    return !stop.Stopped();
}

void LogCommandSent()
{
    VWN_LOGA("[ChipAccessHelper][ChipAccessHelper::SendCommand2SlaveAddress] Sending command - done.");
}

// A probe types nothing while an earlier run goes on, and its read waits for the run its command starts.
RunWait SendProbe(DetectionState& state, UINT32 addr, DWORD runWaitMs, StopSignal& stop, DWORD& run)
{
    const RunWait earlier = state.console.WaitUntilNoRun(runWaitMs, stop, run);
    if (earlier != RunWait::Ended)
    {
        return earlier;
    }
    const unsigned runsBefore = state.console.ToolRunsStarted();
    if (!TypeCommand(state, addr, stop))
    {
        return RunWait::Stopped;
    }
    const RunWait own = state.console.WaitForRunOf(runsBefore, runWaitMs, stop, run);
    LogCommandSent();
    return own;
}

void LogRunOutlastsProbe(DWORD run)
{
    VWN_LOGW(
        L"[ChipAccessHelper][ChipAccessHelper::DetectSlaveAddress] @@@@@ %ws has not ended: no more probes until the next resend !!! @@@@@",
        DescribeRun(run).c_str());
}
} // namespace

void SendCommand2SlaveAddress(DetectionState& state, UINT32 addr, StopSignal& stop)
{
    if (TypeCommand(state, addr, stop))
    {
        stop.Wait(kToolAnswerWaitMs);
        LogCommandSent();
    }
}

ProbeTry DoReadPresenceStatus(DetectionState& state, UINT32 addr, const std::wstring& resultFilename,
                              DWORD runWaitMs, StopSignal& stop)
{
    const bool detailed = state.settings.detailedLog;
    if (detailed)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DoReadPresenceStatus] _addr(0x%X)", addr);
    }
    ProbeTry probe;
    probe.run = SendProbe(state, addr, runWaitMs, stop, probe.runStillGoing);
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

ProbeEnd DetectSlaveAddress(DetectionState& state, DWORD runWaitMs, StopSignal& stop)
{
    const std::wstring resultFilename = state.resultFilename;
    ProbeEnd end = ProbeEnd::NoAnswer;
    for (const UINT32 address : kSlaveAddrCandidates)
    {
        for (int attempt = 0; attempt < kTriesPerAddress && end == ProbeEnd::NoAnswer; ++attempt)
        {
            const ProbeTry probe = DoReadPresenceStatus(state, address, resultFilename, runWaitMs, stop);
            if (probe.run == RunWait::Stopped)
            {
                end = ProbeEnd::Stopped;
            }
            else if (probe.run == RunWait::StillGoing)
            {
                LogRunOutlastsProbe(probe.runStillGoing);
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
