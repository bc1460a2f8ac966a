#include "detection/PollingLoop.h"

#include "detection/Cadence.h"
#include "detection/ChargerReading.h"
#include "detection/DetectionEvents.h"
#include "detection/PollingFigures.h"
#include "detection/ValueFile.h"
#include "logging/ApacheLogger.h"

#include <algorithm>

namespace
{
// The state of one run of the thread; a fresh run starts counting afresh.
struct PollRun
{
    UINT32 retryCount = 0;
    UINT32 slaveAddr = kNoSlaveAddress;
    std::wstring resultFilename;
    bool polling = true;
    UINT32 retryIndex = 0;
    // The first poll of a run resumed after a pause sends a command, whatever it counted.
    bool commandDue = false;
    unsigned result = 0;
    // When the last read was done (GetTickCount64).
    ULONGLONG lastReadAt = 0;
};

// What a poll does before its read.
enum class PollKind
{
    Command, // the first read of a run of reads, or one asked for at once
    Resend,  // every kFailedReadsPerResend-th failed read in a row
    Reread   // the same value file again, with no command
};

PollKind KindOf(const PollRun& run)
{
    if (run.retryIndex == 0 || run.commandDue)
    {
        return PollKind::Command;
    }
    return run.retryIndex % kFailedReadsPerResend == 0 ? PollKind::Resend : PollKind::Reread;
}

// A poll comes kPollWaitMs after the read before it; one with a command also no
// sooner than the cadence's spacing after the command before.
DWORD WaitBeforePoll(const DetectionState& state, const PollRun& run, const Cadence& cadence)
{
    if (!run.polling)
    {
        return kPollWaitMs;
    }
    ULONGLONG due = run.lastReadAt + kPollWaitMs;
    if (KindOf(run) != PollKind::Reread)
    {
        due = std::max(due, state.lastCommandAt + cadence.CommandSpacingMs());
    }
    const ULONGLONG now = GetTickCount64();
    return due > now ? static_cast<DWORD>(due - now) : 0;
}

void SendAgain(DetectionState& state, PollRun& run, StopSignal& stop)
{
    VWN_LOGW(
        L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] No value after %d reads: sending the command again ...",
        run.retryIndex);
    ReportCommandResent(run.retryIndex, state.ToolFolder());
    if (state.console.RenewConsole() == ConsoleRenewal::RunGoing)
    {
        // cmd.exe reads a command only after the run: the reads go on and find its answer.
        return;
    }
    if (run.slaveAddr == kNoSlaveAddress || run.resultFilename.empty())
    {
        // The tool folder or its folder file may be back, or the probes at start-up came too early.
        Preprocessing(state, stop);
        const ProbeEnd probed = DetectSlaveAddress(state, stop);
        run.slaveAddr = state.slaveAddr;
        run.resultFilename = state.resultFilename;
        if (probed != ProbeEnd::NoAnswer)
        {
            // Found: the read that follows finds the probe's own answer.
            return;
        }
    }
    DWORD hungRun = 0;
    SendCommand2SlaveAddress(state, run.slaveAddr, stop, hungRun);
}

void GiveUp(DetectionState& state, PollRun& run)
{
    VWN_LOGW(
        L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] @@@@@ Unable to read the value from the tool !!! @@@@@");
    ReportGaveUp(run.retryIndex + 1);
    run.result = 1;
    run.polling = false;
    VWN_LOGW(
        L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] Posting WM_QUIT to the main window ...");
    if (state.settings.callbacks.gaveUp)
    {
        state.settings.callbacks.gaveUp();
    }
    VWN_LOGW(
        L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] Posting WM_QUIT to the main window - done.\n");
}

void PollOnce(DetectionState& state, PollRun& run, Cadence& cadence, StopSignal& stop)
{
    const bool detailed = state.settings.detailedLog;
    const PollKind kind = KindOf(run);
    if (kind == PollKind::Command)
    {
        if (detailed)
        {
            VWN_LOGW(
                L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] Executing the polling process ...");
        }
        DWORD hungRun = 0;
        SendCommand2SlaveAddress(state, run.slaveAddr, stop, hungRun);
    }
    else if (kind == PollKind::Resend)
    {
        SendAgain(state, run, stop);
    }
    run.commandDue = false;
    // A run that started late, or that a resend left to answer, is read when it has ended.
    DWORD going = 0;
    state.console.Runs().WaitUntilNoRun(stop, going);
    if (stop.Stopped())
    {
        // A read after a command cut short would count a failure that the tool never had.
        return;
    }
    BYTE value = 0;
    const bool isSuccessful = ReadQcPdPresenceStatusFromFile(run.resultFilename, value);
    run.lastReadAt = GetTickCount64();
    if (detailed)
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] _isSuccessful(%d), _value(%d), _retryIndex(%d)\n",
            isSuccessful ? 1 : 0, value, run.retryIndex);
    }
    if (isSuccessful)
    {
        if (run.retryIndex >= kFailedReadsPerResend)
        {
            ReportReadingsBack();
        }
        run.retryIndex = 0;
        if (value != state.chargingType.load())
        {
            cadence.Attention(L"a change of charging type");
        }
        OnChargingType(state, value);
        return;
    }
    // The recovery, its resends and the give-up keep the active timing.
    cadence.Attention(L"a failed read");
    if (run.retryIndex == 0)
    {
        NoteFirstReadWithoutValue();
    }
    if (run.retryIndex < run.retryCount)
    {
        ++run.retryIndex;
    }
    else
    {
        GiveUp(state, run);
    }
}

// The first thread on mains starts the tool's console and looks for the chip: on
// this thread, not the window's, so that the window answers from the first second.
void StartTool(DetectionState& state, StopSignal& stop)
{
    if (!state.console.IsOpen())
    {
        state.console.CreatePipeRedirectedConsole(state.ToolFolder(), state.settings.detailedLog);
    }
    Preprocessing(state, stop);
    state.probed = DetectSlaveAddress(state, stop) != ProbeEnd::Stopped;
}

PollRun BeginRun(DetectionState& state, const PollStart& start, StopSignal& stop)
{
    if (!state.probed)
    {
        StartTool(state, stop);
    }
    else if (!start.resumed)
    {
        Preprocessing(state, stop);
    }
    PollRun run;
    run.retryCount = start.retryCount;
    run.retryIndex = start.resumed ? state.retryIndexAtStop : 0;
    run.commandDue = start.resumed;
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] _retryCount(%d)", run.retryCount);
    run.slaveAddr = state.slaveAddr;
    if (state.settings.detailedLog)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] _slaveAddr(0x%X)",
                 run.slaveAddr);
    }
    run.resultFilename = state.resultFilename;
    if (state.settings.detailedLog)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] _resultFilename -> %ws",
                 run.resultFilename.c_str());
    }
    run.lastReadAt = GetTickCount64();
    return run;
}
} // namespace

unsigned DetectionThreadFunc(DetectionState& state, HANDLE stopEvent, HANDLE wakeEvent,
                             const PollStart& start)
{
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] in.");
    StopSignal stop(stopEvent, wakeEvent);
    PollRun run = BeginRun(state, start, stop);
    Cadence cadence(state.settings.cadence);
    if (start.resumed)
    {
        PollOnce(state, run, cadence, stop);
    }
    // A thread that gave up only waits to be stopped.
    while (!stop.Stopped())
    {
        cadence.SettleIfDue();
        const StopSignal::PollWait waited = stop.WaitForPoll(WaitBeforePoll(state, run, cadence));
        if (waited == StopSignal::PollWait::Woken)
        {
            // A power notice: a charger may have been plugged in or pulled.
            cadence.Attention(L"a power notice");
            run.commandDue = true;
        }
        if (waited != StopSignal::PollWait::Stopped && run.polling)
        {
            PollOnce(state, run, cadence, stop);
        }
    }
    state.retryIndexAtStop = run.retryIndex;
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] out.\n");
    return run.result;
}

void OnChargingType(DetectionState& state, BYTE value)
{
    const BYTE current = state.chargingType.load();
    if (value == current)
    {
        return;
    }
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] Current charging type (%d).",
             current);
    VWN_LOGW(
        L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] Change of charging type detected (%d).\n",
        value);
    if (state.settings.callbacks.chargingTypeChanged)
    {
        state.settings.callbacks.chargingTypeChanged(value);
    }
    state.chargingType.store(value);
}
