// Where the tool writes its value file, and what its first byte says.
#include "detection/ChipAccessHelper.h"

#include "app/Globals.h"
#include "logging/ApacheLogger.h"
#include "logging/LastErrorText.h"

#include <vector>

namespace
{
// "OutputPath.ini" names one folder; anything larger is not such a file.
constexpr DWORD kMaxIniBytes = 64 * 1024;

// Opens for reading while others may read too; a writer holding the file
// without read sharing makes this fail at once instead of waiting.
HANDLE OpenForReading(const std::wstring& path)
{
    return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool ReadWholeSmallFile(HANDLE file, std::vector<char>& bytes)
{
    const DWORD size = GetFileSize(file, nullptr);
    if (size == INVALID_FILE_SIZE || size > kMaxIniBytes)
    {
        return false;
    }
    bytes.assign(static_cast<size_t>(size) + 1, '\0');
    DWORD read = 0;
    const BOOL ok = ReadFile(file, bytes.data(), size, &read, nullptr);
    bytes[read] = '\0';
    return ok != FALSE;
}

std::wstring Utf8ToWide(const char* text)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (length <= 0)
    {
        return std::wstring();
    }
    std::vector<wchar_t> wide(static_cast<size_t>(length) + 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
    return std::wstring(wide.data());
}
} // namespace

bool ChipAccessHelper::GetValueFilePath(std::wstring& path)
{
    const std::wstring iniPath = m_workingDir + L"ITE inboxI2C Flash\\" + L"OutputPath.ini";
    if (g_showConsole)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::GetValueFilePath] Path to OuputFile.ini => %ws",
                 iniPath.c_str());
    }
    HANDLE file = OpenForReading(iniPath);
    std::vector<char> bytes;
    const bool read = file != INVALID_HANDLE_VALUE && ReadWholeSmallFile(file, bytes);
    if (file != INVALID_HANDLE_VALUE)
    {
        CloseHandle(file);
    }
    if (!read)
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::GetValueFilePath] @@@@@ Unable to open the INI file !!! @@@@@");
        return false;
    }
    path = Utf8ToWide(bytes.data());
    if (g_showConsole)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::GetValueFilePath] Target file path -> %ws",
                 path.c_str());
    }
    return true;
}

bool ChipAccessHelper::Preprocessing()
{
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Preprocessing] in.");
    std::wstring path;
    const bool found = GetValueFilePath(path);
    if (g_showConsole)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Preprocessing] GetValueFilePath() -> %ws",
                 path.c_str());
    }
    if (found)
    {
        path += L"ManualRead.bin";
        if (g_showConsole)
        {
            VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Preprocessing] _resultFilename -> %ws",
                     path.c_str());
        }
        _resultFilename = path;
        ChangeConsoleCurrentDir2ToolDir();
    }
    else
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::Preprocessing] Unable to get the value file path !!!");
    }
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::Preprocessing] out.");
    return found;
}

void ChipAccessHelper::DeleteTargetFile()
{
    if (g_showConsole)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DeleteTargetFile] Deleting %ws ...",
                 _resultFilename.c_str());
    }
    if (DeleteFileW(_resultFilename.c_str()))
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DeleteTargetFile] File deleted.");
        return;
    }
    g_lastErrorCode = GetLastErrorText();
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DeleteTargetFile] %ws", g_lastErrorText.c_str());
}

bool ChipAccessHelper::ReadQcPdPresenceStatusFromFile(const std::wstring& path, BYTE& value)
{
    HANDLE file = OpenForReading(path);
    if (file == INVALID_HANDLE_VALUE)
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::ReadQcPdPresenceStatusFromFile] @@@@@ Unable to open the target file !!! @@@@@");
        value = 0;
        return false;
    }
    BYTE first = 0;
    DWORD read = 0;
    const BOOL ok = ReadFile(file, &first, 1, &read, nullptr);
    CloseHandle(file);
    value = ok ? first : 0;
    return ok != FALSE;
}
