#include "detection/ChipAccessHelper.h"

#include "app/Globals.h"
#include "logging/ApacheLogger.h"
#include "toast/NotifierIdentity.h"

ChipAccessHelper& ChipAccessHelper::Instance()
{
    static ChipAccessHelper instance;
    return instance;
}

ChipAccessHelper::ChipAccessHelper()
    : m_chargingType(0), m_hStdInRead(nullptr), m_hStdInWrite(nullptr), m_pollingEvent(nullptr),
      m_threadId(0), m_thread(nullptr), _retryCount(0), _slaveAddr(kNoSlaveAddress), m_released(false)
{
    InitializeCriticalSection(&m_lock);
    m_pollingEvent = CreateEventW(nullptr, FALSE, FALSE, L"vwn_polling");
    CreatePipeRedirectedConsole();
    _slaveAddr = kNoSlaveAddress;
    m_slaveAddrCandidates.push_back(0x4E);
    m_slaveAddrCandidates.push_back(0x40);
}

ChipAccessHelper::~ChipAccessHelper()
{
    VWN_LOGA("[ChipAccessHelper][ChipAccessHelper::~ChipAccessHelper] in.");
    Release();
    VWN_LOGA("[ChipAccessHelper][ChipAccessHelper::~ChipAccessHelper] out.\n");
}

void ChipAccessHelper::SetWorkingDir(const std::wstring& workingDir)
{
    m_workingDir = workingDir;
    const std::wstring iconPath = m_workingDir + L"notification_icon.png";
    NotifierIdentity::Register(L"Tessaly.VoltwrenPowerBeacon", L"Tessaly Voltwren", iconPath);
}

void ChipAccessHelper::Release()
{
    VWN_LOGA("[ChipAccessHelper][ChipAccessHelper::Release] in.");
    if (m_thread != nullptr)
    {
        Stop();
    }
    if (m_pollingEvent != nullptr)
    {
        CloseHandle(m_pollingEvent);
        m_pollingEvent = nullptr;
    }
    NotifierIdentity::Unregister();
    if (m_hStdInWrite != nullptr)
    {
        CloseConsole();
    }
    if (!m_released)
    {
        m_released = true;
        DeleteCriticalSection(&m_lock);
    }
    if (g_chipAccessHelperEvent != nullptr)
    {
        SetEvent(g_chipAccessHelperEvent);
    }
    VWN_LOGA("[ChipAccessHelper][ChipAccessHelper::Release] out.\n");
}
