#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Reads the charger chip through the vendor's tool, typed into one hidden
// cmd.exe console, and watches the charging type on its own thread.
class ChipAccessHelper
{
public:
    static constexpr UINT32 kNoSlaveAddress = 0xFFFFFFFF;

    static ChipAccessHelper& Instance();

    // Stores the program folder (ending in a backslash) and registers the notifier identity.
    void SetWorkingDir(const std::wstring& workingDir);
    // Locates the value file and moves the console into the tool folder.
    bool Preprocessing();
    // Probes the candidate slave addresses until one answers.
    bool DetectSlaveAddress();
    void Run(INT32 retryCount);
    void Stop();
    // Gives everything back; safe to call again.
    void Release();

    // Console.
    bool WriteToConsole(const std::string& text);
    bool WriteToConsole(const std::wstring& text);
    bool ChangeConsoleCurrentDir2ToolDir();

    // Value file.
    bool GetValueFilePath(std::wstring& path);
    void DeleteTargetFile();
    static bool ReadQcPdPresenceStatusFromFile(const std::wstring& path, BYTE& value);

    // Probing.
    void SendCommand2SlaveAddress(const UINT32& addr);
    bool DoReadPresenceStatus(UINT32 addr, const std::wstring& valueFilename, BYTE& value);

    const std::wstring& ResultFilename() const { return _resultFilename; }

    ~ChipAccessHelper();
    ChipAccessHelper(const ChipAccessHelper&) = delete;
    ChipAccessHelper& operator=(const ChipAccessHelper&) = delete;

private:
    ChipAccessHelper();

    void CreatePipeRedirectedConsole();
    void CloseConsole();
    static unsigned __stdcall DetectionThreadFunc(void* argument);
    unsigned Poll();
    void OnChargingType(BYTE value);

    BYTE m_chargingType;
    std::wstring m_workingDir;
    std::wstring _resultFilename;
    HANDLE m_hStdInRead;
    HANDLE m_hStdInWrite;
    HANDLE m_pollingEvent;
    UINT32 m_threadId;
    HANDLE m_thread;
    UINT32 _retryCount;
    std::vector<INT32> m_slaveAddrCandidates;
    UINT32 _slaveAddr;
    CRITICAL_SECTION m_lock;
    // Run and Stop after Release must use neither the lock nor the event.
    bool m_released;
};
