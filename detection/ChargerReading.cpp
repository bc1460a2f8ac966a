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

bool Preprocessing(DetectionState& state)
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
        state.console.ChangeConsoleCurrentDir2ToolDir();
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

void SendCommand2SlaveAddress(DetectionState& state, UINT32 addr)
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
    state.console.WriteToConsole(std::wstring(cmd));
    Sleep(kToolAnswerWaitMs);
    VWN_LOGA("[ChipAccessHelper][ChipAccessHelper::SendCommand2SlaveAddress] Sending command - done.");
}

bool DoReadPresenceStatus(DetectionState& state, UINT32 addr, const std::wstring& resultFilename, BYTE& value)
{
    const bool detailed = state.settings.detailedLog;
    if (detailed)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DoReadPresenceStatus] _addr(0x%X)", addr);
    }
    SendCommand2SlaveAddress(state, addr);
    BYTE read = 0;
    const bool result = ReadQcPdPresenceStatusFromFile(resultFilename, read);
    if (detailed)
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::DoReadPresenceStatus] _valueFilename -> %ws, _value(%d), _result(%d)",
            resultFilename.c_str(), read, result ? 1 : 0);
    }
    value = result ? read : 0;
    return result;
}

void DetectSlaveAddress(DetectionState& state)
{
    const std::wstring resultFilename = state.resultFilename;
    bool found = false;
    for (const UINT32 address : kSlaveAddrCandidates)
    {
        for (int attempt = 0; attempt < kTriesPerAddress && !found; ++attempt)
        {
            BYTE value = 0;
            const bool answered = DoReadPresenceStatus(state, address, resultFilename, value);
            if (state.settings.detailedLog)
            {
                VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DetectSlaveAddress] _addr(0x%X), _value",
                         address);
            }
            if (answered)
            {
                state.slaveAddr = address;
                found = true;
            }
        }
        if (found)
        {
            break;
        }
    }
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DetectSlaveAddress] _addr(0x%X) detected.",
             state.slaveAddr);
    if (state.slaveAddr == kNoSlaveAddress)
    {
        ReportNoChip(kSlaveAddrCandidates[0], kSlaveAddrCandidates[1]);
    }
}
