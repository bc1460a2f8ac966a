#include "LogTestSupport.h"

#include "support/Wait.h"

#include <algorithm>

namespace logtest
{
namespace
{
constexpr DWORD kDbwinBufferBytes = 4096;
constexpr DWORD kPollMs = 20;
constexpr DWORD kMarkerWaitMs = 5000;
constexpr const char* kMarker = "logtest: end of lines";
} // namespace

std::string WithFolder(std::string text, const TempFolder& folder)
{
    const std::string replacement = ToUtf8(Bare(folder));
    for (size_t at = text.find("$FOLDER"); at != std::string::npos; at = text.find("$FOLDER", at))
    {
        text.replace(at, 7, replacement);
        at += replacement.size();
    }
    return text;
}

DebuggerOutput::DebuggerOutput()
    : m_bufferReady(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY")),
      m_dataReady(CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY")),
      m_mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kDbwinBufferBytes,
                                   L"DBWIN_BUFFER"))
{
    if (!m_bufferReady || !m_dataReady || !m_mapping)
    {
        return;
    }
    m_view = static_cast<const char*>(MapViewOfFile(m_mapping.Get(), FILE_MAP_READ, 0, 0, kDbwinBufferBytes));
    if (m_view == nullptr)
    {
        return;
    }
    m_thread.Reset(CreateThread(nullptr, 0, ReadLoop, this, 0, nullptr));
}

DebuggerOutput::~DebuggerOutput()
{
    if (m_thread)
    {
        InterlockedExchange(&m_stop, 1);
        WaitForSingleObject(m_thread.Get(), INFINITE);
        m_thread.Reset();
    }
    if (m_view != nullptr)
    {
        UnmapViewOfFile(m_view);
    }
}

DWORD WINAPI DebuggerOutput::ReadLoop(void* self)
{
    DebuggerOutput& output = *static_cast<DebuggerOutput*>(self);
    SetEvent(output.m_bufferReady.Get());
    while (output.m_stop == 0)
    {
        if (WaitForSingleObject(output.m_dataReady.Get(), kPollMs) != WAIT_OBJECT_0)
        {
            continue;
        }
        DWORD process = 0;
        memcpy(&process, output.m_view, sizeof(process));
        std::string text(output.m_view + sizeof(DWORD),
                         strnlen(output.m_view + sizeof(DWORD), kDbwinBufferBytes - sizeof(DWORD)));
        SetEvent(output.m_bufferReady.Get());
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        {
            text.pop_back();
        }
        AcquireSRWLockExclusive(&output.m_lock);
        output.m_lines.emplace_back(process, text);
        ReleaseSRWLockExclusive(&output.m_lock);
    }
    return 0;
}

std::vector<std::string> DebuggerOutput::Lines(DWORD process)
{
    OutputDebugStringA(kMarker);
    const std::pair<DWORD, std::string> marker(GetCurrentProcessId(), kMarker);
    WaitFor(
        [&]
        {
            AcquireSRWLockShared(&m_lock);
            const bool seen = std::find(m_lines.begin(), m_lines.end(), marker) != m_lines.end();
            ReleaseSRWLockShared(&m_lock);
            return seen;
        },
        kMarkerWaitMs);
    std::vector<std::string> lines;
    AcquireSRWLockExclusive(&m_lock);
    m_lines.erase(std::remove(m_lines.begin(), m_lines.end(), marker), m_lines.end());
    for (const auto& line : m_lines)
    {
        if (line.first == (process == 0 ? GetCurrentProcessId() : process))
        {
            lines.push_back(line.second);
        }
    }
    ReleaseSRWLockExclusive(&m_lock);
    return lines;
}
} // namespace logtest
