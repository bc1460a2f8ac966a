#include "detection/ValueFile.h"

#include "logging/ApacheLogger.h"
#include "logging/LastErrorText.h"
#include "base/UniqueHandle.h"

#include <vector>

namespace
{
// "OutputPath.ini" names one folder; anything larger is not such a file.
constexpr DWORD kMaxIniBytes = 64 * 1024;

// Opens for reading while others may read too; a writer holding the file
// without read sharing makes this fail at once instead of waiting.
UniqueFile OpenForReading(const std::wstring& path)
{
    return UniqueFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool ReadWholeSmallFile(const std::wstring& path, std::string& bytes)
{
    const UniqueFile file = OpenForReading(path);
    if (!file)
    {
        return false;
    }
    const DWORD size = GetFileSize(file.Get(), nullptr);
    if (size == INVALID_FILE_SIZE || size > kMaxIniBytes)
    {
        return false;
    }
    bytes.assign(size, '\0');
    DWORD read = 0;
    const BOOL ok = ReadFile(file.Get(), &bytes[0], size, &read, nullptr);
    bytes.resize(read);
    return ok != FALSE;
}
} // namespace

std::wstring ValueFolderFromIniBytes(const std::string& bytes)
{
    const std::string text = bytes.substr(0, bytes.find('\0'));
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 0)
    {
        return std::wstring();
    }
    std::vector<wchar_t> wide(static_cast<size_t>(length) + 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
    return std::wstring(wide.data());
}

bool GetValueFileFolder(const std::wstring& toolFolder, bool detailedLog, std::wstring& valueFolder)
{
    const std::wstring iniPath = toolFolder + L"OutputPath.ini";
    if (detailedLog)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::GetValueFilePath] Path to OuputFile.ini => %ws",
                 iniPath.c_str());
    }
    std::string bytes;
    if (!ReadWholeSmallFile(iniPath, bytes))
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::GetValueFilePath] @@@@@ Unable to open the INI file !!! @@@@@");
        return false;
    }
    valueFolder = ValueFolderFromIniBytes(bytes);
    if (detailedLog)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::GetValueFilePath] Target file path -> %ws",
                 valueFolder.c_str());
    }
    return true;
}

void DeleteTargetFile(const std::wstring& resultFilename, bool detailedLog)
{
    if (detailedLog)
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DeleteTargetFile] Deleting %ws ...",
                 resultFilename.c_str());
    }
    if (DeleteFileW(resultFilename.c_str()))
    {
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DeleteTargetFile] File deleted.");
        return;
    }
    const DWORD code = GetLastError();
    VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DeleteTargetFile] %ws", LastErrorText(code).c_str());
}

bool ReadQcPdPresenceStatusFromFile(const std::wstring& resultFilename, BYTE& value)
{
    const UniqueFile file = OpenForReading(resultFilename);
    if (!file)
    {
        VWN_LOGW(
            L"[ChipAccessHelper][ChipAccessHelper::ReadQcPdPresenceStatusFromFile] @@@@@ Unable to open the target file !!! @@@@@");
        value = 0;
        return false;
    }
    BYTE first = 0;
    DWORD read = 0;
    const BOOL ok = ReadFile(file.Get(), &first, 1, &read, nullptr);
    value = ok ? first : 0;
    return ok != FALSE;
}
