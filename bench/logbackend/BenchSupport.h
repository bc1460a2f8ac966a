#pragma once

#include "log4cxx_wrapper.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace bench
{
typedef int(WINAPI* ConfigureFn)(const wchar_t*);
typedef Log4cxxLogger(WINAPI* GetLoggerFn)(const wchar_t*);
typedef void(WINAPI* DebugFn)(Log4cxxLogger, const wchar_t*);

// The three entry points the program uses most, bound by name as the program binds them.
struct Library
{
    ConfigureFn configure = nullptr;
    GetLoggerFn getLogger = nullptr;
    DebugFn debug = nullptr;
};

// What the program writes most: a detection-thread line of ordinary length.
constexpr const wchar_t* kMessage =
    L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] Current charging type (2).";
constexpr const wchar_t* kLoggerName = L"vwn_1.0.0";

inline double Seconds()
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline std::wstring ProgramPath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

inline std::wstring ProgramFolder()
{
    const std::wstring path = ProgramPath();
    return path.substr(0, path.rfind(L'\\') + 1);
}

// Loads Log4cxxWrapper.dll from beside the benchmark; false if it or an entry point is missing.
inline bool LoadLibraryApi(Library& library)
{
    HMODULE module = LoadLibraryW((ProgramFolder() + L"Log4cxxWrapper.dll").c_str());
    if (module == nullptr)
    {
        return false;
    }
    library.configure = reinterpret_cast<ConfigureFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "Log4cxxPropertyConfigureW")));
    library.getLogger =
        reinterpret_cast<GetLoggerFn>(reinterpret_cast<void*>(GetProcAddress(module, "Log4cxxGetLoggerW")));
    library.debug =
        reinterpret_cast<DebugFn>(reinterpret_cast<void*>(GetProcAddress(module, "Log4cxxDebugW")));
    return library.configure != nullptr && library.getLogger != nullptr && library.debug != nullptr;
}

// Removes the files of a folder (no subfolders) and the folder.
inline void DeleteTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE)
    {
        do
        {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..")
            {
                DeleteFileW((folder + L"\\" + name).c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

inline bool WriteText(const std::wstring& path, const std::string& text)
{
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        return false;
    }
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return written == text.size();
}

// One appender of the given class with the shipped layout, every logger at DEBUG.
inline std::string AppenderProperties(const std::string& appenderClass, const std::string& file,
                                      const std::string& maxFileSize, int maxBackups)
{
    const std::string appender = "log4j.appender.bench";
    return "log4j.rootLogger=DEBUG, bench\n" + appender + "=" + appenderClass + "\n" + appender +
           ".File=" + file + "\n" + appender + ".MaxFileSize=" + maxFileSize + "\n" + appender +
           ".MaxBackupIndex=" + std::to_string(maxBackups) + "\n" + appender + ".layout=PatternLayout\n" +
           appender + ".layout.ConversionPattern=%d{ISO8601} [%t] %-5p %c - %m%n\n";
}

inline std::string ReadText(const std::wstring& path)
{
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        return std::string();
    }
    LARGE_INTEGER size = {};
    GetFileSizeEx(file, &size);
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty())
    {
        ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    }
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

// The value below which share of the sorted samples lie (0.5: median).
inline double Percentile(const std::vector<float>& sorted, double share)
{
    if (sorted.empty())
    {
        return 0;
    }
    const size_t index =
        std::min(sorted.size() - 1, static_cast<size_t>(static_cast<double>(sorted.size()) * share));
    return sorted[index];
}
} // namespace bench
