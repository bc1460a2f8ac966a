#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace logtest
{
// A fresh folder under the temporary folder, removed with everything in it.
class TempFolder
{
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring operator/(const std::wstring& name) const { return m_path + L"\\" + name; }

private:
    std::wstring m_path;
};

void DeleteTree(const std::wstring& folder);
std::string ReadBytes(const std::wstring& path);
bool WriteBytes(const std::wstring& path, const std::string& bytes);
bool Exists(const std::wstring& path);
std::wstring ExeFolder();
std::string Utf8(const std::wstring& text);
// Properties text with "$FOLDER" replaced by folder, as UTF-8 bytes.
std::string WithFolder(std::string text, const std::wstring& folder);

// Reads what this process sends to the debugger, through the system's
// DBWIN buffer, as a debugger viewer does. Only one reader may exist per
// session at a time.
class DebuggerOutput
{
public:
    DebuggerOutput();
    ~DebuggerOutput();
    DebuggerOutput(const DebuggerOutput&) = delete;
    DebuggerOutput& operator=(const DebuggerOutput&) = delete;

    bool Ready() const { return m_thread != nullptr; }
    // Lines so far, without their trailing line break. Waits first until a
    // marker line of its own has come through, so every earlier line is in.
    std::vector<std::string> Lines();
    void Clear();

private:
    static DWORD WINAPI ReadLoop(void* self);

    HANDLE m_bufferReady = nullptr;
    HANDLE m_dataReady = nullptr;
    HANDLE m_mapping = nullptr;
    const char* m_view = nullptr;
    HANDLE m_thread = nullptr;
    volatile LONG m_stop = 0;
    SRWLOCK m_lock = SRWLOCK_INIT;
    std::vector<std::string> m_lines;
};
} // namespace logtest
