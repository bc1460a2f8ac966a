#pragma once

#include "base/UniqueHandle.h"
#include "support/TestFolders.h"

#include <windows.h>

#include <string>
#include <vector>

// A file in a test folder (whose Path() ends in a backslash).
inline std::wstring operator/(const TempFolder& folder, const std::wstring& name)
{
    return folder.Path() + name;
}

namespace logtest
{
using ::Exists;

// A file as a viewer opens it: reading, sharing reading and writing but not deletion, so the
// file can be neither renamed nor removed while it is open.
inline UniqueFile OpenAsViewer(const std::wstring& path, DWORD disposition = OPEN_ALWAYS)
{
    return UniqueFile(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The folder without its trailing backslash, as the library reports it.
inline std::wstring Bare(const TempFolder& folder)
{
    return folder.Path().substr(0, folder.Path().size() - 1);
}

// Properties of a FileAppender with SimpleLayout; "$FOLDER" in file stands for the test folder.
inline std::string SimpleFile(const std::string& name, const std::string& file)
{
    const std::string key = "log4j.appender." + name;
    return key + "=FileAppender\n" + key + ".File=" + file + "\n" + key + ".layout=SimpleLayout\n";
}

// Properties text with "$FOLDER" replaced by the folder, as UTF-8 bytes.
std::string WithFolder(std::string text, const TempFolder& folder);

// Reads what this process sends to the debugger, through the system's
// DBWIN buffer, as a debugger viewer does. Only one reader may exist per
// session at a time.
class DebuggerOutput
{
public:
    DebuggerOutput();
    ~DebuggerOutput();

    bool Ready() const { return m_thread.IsValid(); }
    // Lines so far of a process (0: this one), without their trailing line
    // break. Waits first until a marker line of its own has come through, so
    // every earlier line is in.
    std::vector<std::string> Lines(DWORD process = 0);

private:
    static DWORD WINAPI ReadLoop(void* self);

    UniqueHandle m_bufferReady;
    UniqueHandle m_dataReady;
    UniqueHandle m_mapping;
    const char* m_view = nullptr;
    UniqueHandle m_thread;
    volatile LONG m_stop = 0;
    SRWLOCK m_lock = SRWLOCK_INIT;
    std::vector<std::pair<DWORD, std::string>> m_lines;
};
} // namespace logtest
