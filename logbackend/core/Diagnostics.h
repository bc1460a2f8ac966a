#pragma once

#include <string>

namespace vwnlog
{
// The library's own messages: one line each to the debugger, prefixed
// "Log4cxxWrapper: ". Errors and warnings always go out; debug lines only
// while log4j.debug is on. None of these functions throws.
typedef void (*DiagnosticSink)(const std::wstring& line);

void SetInternalDebugging(bool on);
bool InternalDebugging();

void ReportError(const std::wstring& text);
void ReportWarning(const std::wstring& text);
void ReportDebug(const std::wstring& text);

// Lets tests read the lines (without the trailing line break); nullptr
// sends them to the debugger again.
void SetDiagnosticSink(DiagnosticSink sink);

// "error 5: Access is denied." for a Win32 error code.
std::wstring SystemErrorText(unsigned long code);
} // namespace vwnlog
