// One tool command per read, and the start-up search for the address at
// which the charger chip answers.
#include "detection/ChipAccessHelper.h"

#include "app/Globals.h"
#include "logging/ApacheLogger.h"

namespace
{
constexpr DWORD kToolAnswerWaitMs = 400;
constexpr int kTriesPerAddress = 3;
} // namespace

void ChipAccessHelper::SendCommand2SlaveAddress(const UINT32& addr)
{
    if (g_showConsole)
    {
        VWN_LOGA(
            "[ChipAccessHelper][ChipAccessHelper::SendCommand2SlaveAddress] Deleting the value file ...");
    }
    DeleteTargetFile();
    if (g_showConsole)
    {
        VWN_LOGA("[ChipAccessHelper][ChipAccessHelper::SendCommand2SlaveAddress] Sending command ...");
    }
    wchar_t cmd[64] = {};
    wsprintfW(cmd, L"ITERHPGen.exe 0x%X 1 W 1 1 D8\n", addr);
    if (g_showConsole)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::SendCommand2SlaveAddress] _cmd -> %ws ", cmd);
    }
    WriteToConsole(std::wstring(cmd));
    Sleep(kToolAnswerWaitMs);
    VWN_LOGA("[ChipAccessHelper][ChipAccessHelper::SendCommand2SlaveAddress] Sending command - done.");
}

bool ChipAccessHelper::DoReadPresenceStatus(UINT32 addr, const std::wstring& valueFilename, BYTE& value)
{
    if (g_showConsole)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DoReadPresenceStatus] _addr(0x%X)", addr);
    }
    SendCommand2SlaveAddress(addr);
    BYTE read = 0;
    const bool result = ReadQcPdPresenceStatusFromFile(valueFilename, read);
    if (g_showConsole)
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::DoReadPresenceStatus] _valueFilename -> %ws, _value(%d), _result(%d)",
            valueFilename.c_str(), read, result ? 1 : 0);
    }
    value = result ? read : 0;
    return result;
}

bool ChipAccessHelper::DetectSlaveAddress()
{
    const std::wstring valueFilename = _resultFilename;
    bool found = false;
    for (size_t i = 0; i < m_slaveAddrCandidates.size() && !found; ++i)
    {
        const UINT32 address = static_cast<UINT32>(m_slaveAddrCandidates[i]);
        for (int attempt = 0; attempt < kTriesPerAddress && !found; ++attempt)
        {
            BYTE value = 0;
            const bool answered = DoReadPresenceStatus(address, valueFilename, value);
            if (g_showConsole)
            {
                VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DetectSlaveAddress] _addr(0x%X), _value",
                         address);
            }
            if (answered)
            {
                _slaveAddr = address;
                found = true;
            }
        }
    }
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DetectSlaveAddress] _addr(0x%X) detected.", _slaveAddr);
    return found;
}
