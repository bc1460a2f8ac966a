#include "logbackend/core/Diagnostics.h"

#include "base/UniqueHandle.h"

#include <windows.h>

#include <atomic>

namespace vwnlog
{
namespace
{
std::atomic<bool> s_debug{false};
std::atomic<DiagnosticSink> s_sink{nullptr};

void Emit(const wchar_t* severity, const std::wstring& text) noexcept
{
    try
    {
        std::wstring line = L"Log4cxxWrapper: ";
        line += severity;
        line += L' ';
        line += text;
        const DiagnosticSink sink = s_sink.load();
        if (sink != nullptr)
        {
            sink(line);
            return;
        }
        line += L'\n';
        OutputDebugStringW(line.c_str());
    }
    catch (...)
    {
        // Out of memory while reporting: a fixed text still gets through.
        OutputDebugStringW(L"Log4cxxWrapper: ERROR out of memory while reporting a problem\n");
    }
}
} // namespace

void SetInternalDebugging(bool on)
{
    s_debug.store(on);
}

bool InternalDebugging()
{
    return s_debug.load();
}

void ReportError(const std::wstring& text)
{
    Emit(L"ERROR", text);
}

void ReportWarning(const std::wstring& text)
{
    Emit(L"WARN", text);
}

void ReportDebug(const std::wstring& text)
{
    if (s_debug.load())
    {
        Emit(L"DEBUG", text);
    }
}

void SetDiagnosticSink(DiagnosticSink sink)
{
    s_sink.store(sink);
}

std::wstring SystemErrorText(unsigned long code)
{
    std::wstring text = L"error " + std::to_wstring(code);
    UniqueLocalMemory message;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        code, 0, reinterpret_cast<wchar_t*>(message.Put()), 0, nullptr);
    if (length > 0 && message)
    {
        std::wstring detail(static_cast<const wchar_t*>(message.Get()), length);
        while (!detail.empty() && (detail.back() == L'\n' || detail.back() == L'\r' || detail.back() == L' '))
        {
            detail.pop_back();
        }
        if (!detail.empty())
        {
            text += L": " + detail;
        }
    }
    return text;
}
} // namespace vwnlog
