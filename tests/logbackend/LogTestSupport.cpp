#include "LogTestSupport.h"

namespace logtest
{
namespace
{
constexpr DWORD kDbwinBufferBytes = 4096;
constexpr DWORD kPollMs = 20;
constexpr DWORD kMarkerWaitMs = 5000;
constexpr const char* kMarker = "logtest: end of lines";
} // namespace

TempFolder::TempFolder()
{
    static LONG s_counter = 0;
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    m_path = std::wstring(temp) + L"vwn-logtest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
             std::to_wstring(InterlockedIncrement(&s_counter));
    if (!m_path.empty() && m_path.back() == L'\\')
    {
        m_path.pop_back();
    }
    DeleteTree(m_path);
    CreateDirectoryW(m_path.c_str(), nullptr);
}

TempFolder::~TempFolder()
{
    DeleteTree(m_path);
}

void DeleteTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE)
    {
        do
        {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
            {
                continue;
            }
            const std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            {
                DeleteTree(path);
            }
            else
            {
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

std::string ReadBytes(const std::wstring& path)
{
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        return std::string();
    }
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0)
    {
        bytes.append(buffer, read);
    }
    CloseHandle(file);
    return bytes;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ExeFolder()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.rfind(L'\\'));
}

std::string Utf8(const std::wstring& text)
{
    if (text.empty())
    {
        return std::string();
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr,
                        nullptr);
    return bytes;
}

std::string WithFolder(std::string text, const std::wstring& folder)
{
    const std::string replacement = Utf8(folder);
    for (size_t at = text.find("$FOLDER"); at != std::string::npos; at = text.find("$FOLDER", at))
    {
        text.replace(at, 7, replacement);
        at += replacement.size();
    }
    return text;
}

DebuggerOutput::DebuggerOutput()
{
    m_bufferReady = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
    m_dataReady = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
    m_mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kDbwinBufferBytes,
                                   L"DBWIN_BUFFER");
    if (m_bufferReady == nullptr || m_dataReady == nullptr || m_mapping == nullptr)
    {
        return;
    }
    m_view = static_cast<const char*>(MapViewOfFile(m_mapping, FILE_MAP_READ, 0, 0, kDbwinBufferBytes));
    if (m_view == nullptr)
    {
        return;
    }
    m_thread = CreateThread(nullptr, 0, ReadLoop, this, 0, nullptr);
}

DebuggerOutput::~DebuggerOutput()
{
    if (m_thread != nullptr)
    {
        InterlockedExchange(&m_stop, 1);
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
    }
    if (m_view != nullptr)
    {
        UnmapViewOfFile(m_view);
    }
    for (HANDLE handle : {m_mapping, m_dataReady, m_bufferReady})
    {
        if (handle != nullptr)
        {
            CloseHandle(handle);
        }
    }
}

DWORD WINAPI DebuggerOutput::ReadLoop(void* self)
{
    DebuggerOutput& output = *static_cast<DebuggerOutput*>(self);
    const DWORD ownProcess = GetCurrentProcessId();
    SetEvent(output.m_bufferReady);
    while (output.m_stop == 0)
    {
        if (WaitForSingleObject(output.m_dataReady, kPollMs) != WAIT_OBJECT_0)
        {
            continue;
        }
        DWORD process = 0;
        memcpy(&process, output.m_view, sizeof(process));
        std::string text(output.m_view + sizeof(DWORD),
                         strnlen(output.m_view + sizeof(DWORD), kDbwinBufferBytes - sizeof(DWORD)));
        SetEvent(output.m_bufferReady);
        if (process != ownProcess)
        {
            continue;
        }
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        {
            text.pop_back();
        }
        AcquireSRWLockExclusive(&output.m_lock);
        output.m_lines.push_back(text);
        ReleaseSRWLockExclusive(&output.m_lock);
    }
    return 0;
}

std::vector<std::string> DebuggerOutput::Lines()
{
    OutputDebugStringA(kMarker);
    const ULONGLONG deadline = GetTickCount64() + kMarkerWaitMs;
    for (;;)
    {
        AcquireSRWLockExclusive(&m_lock);
        std::vector<std::string> lines = m_lines;
        ReleaseSRWLockExclusive(&m_lock);
        for (size_t i = 0; i < lines.size(); ++i)
        {
            if (lines[i] == kMarker)
            {
                lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
                AcquireSRWLockExclusive(&m_lock);
                m_lines = lines;
                ReleaseSRWLockExclusive(&m_lock);
                return lines;
            }
        }
        if (GetTickCount64() > deadline)
        {
            return lines;
        }
        Sleep(kPollMs);
    }
}

void DebuggerOutput::Clear()
{
    AcquireSRWLockExclusive(&m_lock);
    m_lines.clear();
    ReleaseSRWLockExclusive(&m_lock);
}
} // namespace logtest
