// The hidden cmd.exe console that runs the charger tool: one pipe into its
// standard input, nothing read back.
#include "detection/ChipAccessHelper.h"

#include "app/Globals.h"
#include "detection/ConsoleText.h"
#include "logging/ApacheLogger.h"

namespace
{
const wchar_t* const kConsolePath = L"C:\\windows\\system32\\cmd.exe";
} // namespace

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

void ChipAccessHelper::CreatePipeRedirectedConsole()
{
    SECURITY_ATTRIBUTES inheritable = {};
    inheritable.nLength = sizeof(inheritable);
    inheritable.bInheritHandle = TRUE;
    if (!CreatePipe(&m_hStdInRead, &m_hStdInWrite, &inheritable, 0))
    {
        m_hStdInRead = nullptr;
        m_hStdInWrite = nullptr;
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoW(&startup);
    startup.hStdInput = m_hStdInRead;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    if (g_showConsole)
    {
        startup.wShowWindow = SW_SHOWNORMAL;
        startup.hStdOutput = nullptr;
        startup.hStdError = nullptr;
    }

    PROCESS_INFORMATION process = {};
    const BOOL created = CreateProcessW(kConsolePath, nullptr, nullptr, nullptr, TRUE, CREATE_NEW_CONSOLE,
                                        nullptr, nullptr, &startup, &process);
    if (created)
    {
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    // The console holds its own inherited copy of the read end.
    if (m_hStdInRead != nullptr)
    {
        CloseHandle(m_hStdInRead);
        m_hStdInRead = nullptr;
    }
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::CreatePipeRedirectedConsole] _result -> %d",
             created ? 1 : 0);
}

bool ChipAccessHelper::WriteToConsole(const std::string& text)
{
    if (g_showConsole)
    {
        const std::string line =
            "[ChipAccessHelper][ChipAccessHelper::WriteToConsole] outputString -> " + text;
        ApacheLogger::WriteA(ApacheLogger::GetLogger(L"vwn"), line.c_str());
    }
    DWORD written = 0;
    const bool result =
        m_hStdInWrite != nullptr &&
        WriteFile(m_hStdInWrite, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    if (g_showConsole)
    {
        ApacheLogger::WriteW(ApacheLogger::GetLogger(L"vwn"),
                             result ? L"[ChipAccessHelper][ChipAccessHelper::WriteToConsole] _result -> 1"
                                    : L"[ChipAccessHelper][ChipAccessHelper::WriteToConsole] _result -> 0");
    }
    return result;
}

bool ChipAccessHelper::WriteToConsole(const std::wstring& text)
{
    return WriteToConsole(NarrowToLowBytes(text));
}

bool ChipAccessHelper::ChangeConsoleCurrentDir2ToolDir()
{
    VWN_LOGW(
        L"[ChipAccessHelper][ChipAccessHelper::ChangeConsoleCurrentDir2ToolDir] CD to the dir in which the tool resides ...");
    // Quoted and with /d: the folder may hold "&" or parentheses, or lie on another drive.
    const std::wstring cmd = L"cd /d \"" + m_workingDir + L"ITE inboxI2C Flash\\\"\n";
    if (g_showConsole)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::ChangeConsoleCurrentDir2ToolDir] _cmd -> %ws",
                 cmd.c_str());
    }
    const bool result = WriteToConsole(cmd);
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

void ChipAccessHelper::CloseConsole()
{
    if (m_hStdInWrite == nullptr)
    {
        return;
    }
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::CloseConsole] Closing the console ...");
    WriteToConsole(std::string("exit\n"));
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::CloseConsole] Closing the console - done.\n");
    CloseHandle(m_hStdInWrite);
    m_hStdInWrite = nullptr;
    m_hStdInRead = nullptr;
}
