#pragma once

#include "base/TextCodec.h"

#include <windows.h>

#include <mutex>
#include <string>
#include <vector>

// Captures the lines this process sends to the debugger while the object lives.
// OutputDebugString raises DBG_PRINTEXCEPTION_WIDE_C (Windows 10 and later) or
// DBG_PRINTEXCEPTION_C (older Windows, Wine 8); a vectored handler sees it first
// and ends it, as an attached debugger would.
class DebuggerLines
{
public:
    DebuggerLines()
    {
        std::lock_guard<std::mutex> guard(Lock());
        Active() = this;
        m_handler = AddVectoredExceptionHandler(1, Handler);
    }
    ~DebuggerLines()
    {
        RemoveVectoredExceptionHandler(m_handler);
        std::lock_guard<std::mutex> guard(Lock());
        Active() = nullptr;
    }
    DebuggerLines(const DebuggerLines&) = delete;
    DebuggerLines& operator=(const DebuggerLines&) = delete;

    std::vector<std::wstring> Lines() const
    {
        std::lock_guard<std::mutex> guard(Lock());
        return m_lines;
    }

private:
    static constexpr DWORD kPrintNarrow = 0x40010006; // DBG_PRINTEXCEPTION_C
    static constexpr DWORD kPrintWide = 0x4001000A;   // DBG_PRINTEXCEPTION_WIDE_C

    static std::mutex& Lock()
    {
        static std::mutex lock;
        return lock;
    }
    static DebuggerLines*& Active()
    {
        static DebuggerLines* active = nullptr;
        return active;
    }

    static LONG CALLBACK Handler(EXCEPTION_POINTERS* pointers)
    {
        const EXCEPTION_RECORD* record = pointers->ExceptionRecord;
        const bool wide = record->ExceptionCode == kPrintWide;
        if ((!wide && record->ExceptionCode != kPrintNarrow) || record->NumberParameters < 2)
        {
            return EXCEPTION_CONTINUE_SEARCH;
        }
        const std::wstring line =
            wide ? std::wstring(reinterpret_cast<const wchar_t*>(record->ExceptionInformation[1]))
                 : FromAnsi(reinterpret_cast<const char*>(record->ExceptionInformation[1]));
        std::lock_guard<std::mutex> guard(Lock());
        if (Active() != nullptr)
        {
            Active()->m_lines.push_back(line);
        }
        return EXCEPTION_CONTINUE_EXECUTION;
    }

    PVOID m_handler = nullptr;
    std::vector<std::wstring> m_lines;
};
