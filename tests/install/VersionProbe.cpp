// One installed-version lookup in a fresh process, as the program makes it at start:
//   version_probe RESULT_FILE [-showconsole] [-rewrite]
// Binds the recording log library beside it (records go to VWN_RECORDING_LOG),
// asks for the version, with -rewrite then stores "rewritten" in both registry
// values, and asks again. RESULT_FILE receives the two answers, one per line,
// then one "debug:" line per line sent to the debugger.
#include "install/VersionNumber.h"
#include "logfolder/DebuggerLines.h"
#include "logging/ApacheLogger.h"

#include <windows.h>

#include <string>

namespace
{
std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring full(path);
    return full.substr(0, full.rfind(L'\\') + 1);
}

void StoreRewritten(const std::string& keyPath, const char* valueName)
{
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
    {
        return;
    }
    const char text[] = "rewritten";
    RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text));
    RegCloseKey(key);
}

std::string ToAnsi(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &narrow[0], size, nullptr, nullptr);
    narrow.resize(narrow.size() - 1);
    return narrow;
}
} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
    {
        return 2;
    }
    bool rewrite = false;
    bool detailed = false;
    for (int i = 2; i < argc; ++i)
    {
        const std::wstring option = argv[i];
        detailed = detailed || option == L"-showconsole";
        rewrite = rewrite || option == L"-rewrite";
    }
    ApacheLogger::Bind(ProgramFolder() + L"recording\\", [] { return getVersionNumber(false); });

    DebuggerLines debugger;
    const std::string first = getVersionNumber(detailed);
    if (rewrite)
    {
        StoreRewritten(std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\") +
                           kProductKeyName,
                       "DisplayVersion");
        StoreRewritten(std::string("SOFTWARE\\Classes\\Installer\\Dependencies\\") + kProductKeyName,
                       "Version");
    }
    const std::string second = getVersionNumber(detailed);

    std::string result = first + "\n" + second + "\n";
    for (const std::wstring& line : debugger.Lines())
    {
        result += "debug:" + ToAnsi(line) + "\n";
    }
    HANDLE file =
        CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        return 3;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, result.data(), static_cast<DWORD>(result.size()), &written, nullptr);
    CloseHandle(file);
    return ok ? 0 : 4;
}
