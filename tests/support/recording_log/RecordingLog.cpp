// A log library for tests: the four entry points the program binds, appending
// every call as one record to a file, so tests can assert exact log lines.
// Record: kind (C, W or A) US logger US text RS, in UTF-8.
#include "base/TextCodec.h"

#include <windows.h>

#include <mutex>
#include <set>
#include <string>

namespace
{
std::mutex s_namesLock;
std::set<std::wstring>* s_names = nullptr; // never freed: no work at process detach

std::wstring RecordPath()
{
    wchar_t path[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"VWN_RECORDING_LOG", path, MAX_PATH) > 0)
    {
        return path;
    }
    HMODULE self = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&RecordPath), &self);
    GetModuleFileNameW(self, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.rfind(L'\\') + 1) + L"recorded-log.txt";
}

std::mutex s_recordLock;

// One write per record keeps records of several processes whole; the lock keeps two threads of
// one process from appending at the same end of the file, which Wine lets one overwrite.
void Record(char kind, const void* logger, const std::wstring& text)
{
    const std::wstring* name = static_cast<const std::wstring*>(logger);
    std::string record(1, kind);
    record += '\x1f';
    record += ToUtf8(name != nullptr ? *name : std::wstring(L"(null)"));
    record += '\x1f';
    record += ToUtf8(text);
    record += '\x1e';
    const std::lock_guard<std::mutex> guard(s_recordLock);
    HANDLE file = CreateFileW(RecordPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        return;
    }
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
}
} // namespace

extern "C"
{

    __declspec(dllexport) int WINAPI Log4cxxPropertyConfigureW(const wchar_t* path)
    {
        Record('C', nullptr, path != nullptr ? path : L"");
        return 0;
    }

    __declspec(dllexport) void* WINAPI Log4cxxGetLoggerW(const wchar_t* name)
    {
        std::lock_guard<std::mutex> guard(s_namesLock);
        if (s_names == nullptr)
        {
            s_names = new std::set<std::wstring>;
        }
        return const_cast<std::wstring*>(&*s_names->insert(name != nullptr ? name : L"").first);
    }

    __declspec(dllexport) void WINAPI Log4cxxDebugW(void* logger, const wchar_t* text)
    {
        Record('W', logger, text != nullptr ? text : L"");
    }

#ifndef RECORDING_LOG_WITHOUT_DEBUG_A
    __declspec(dllexport) void WINAPI Log4cxxDebugA(void* logger, const char* text)
    {
        Record('A', logger, FromAnsi(text != nullptr ? text : ""));
    }
#endif
}
