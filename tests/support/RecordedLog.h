#pragma once

#include <string>
#include <vector>

// One call that reached the recording log library.
struct LogRecord
{
    char kind; // 'C' configure, 'W' wide debug, 'A' narrow debug
    std::wstring logger;
    std::wstring text;
};

std::vector<LogRecord> ParseRecordedLog(const std::string& bytes);
std::vector<LogRecord> ReadRecordedLog(const std::wstring& path);

// The texts of the debug records, in order.
std::vector<std::wstring> LogTexts(const std::vector<LogRecord>& records);
// The texts without the lines that the detection thread writes while it polls,
// so the main thread's order can be compared exactly.
std::vector<std::wstring> WithoutPollingLines(const std::vector<std::wstring>& texts);
size_t CountLine(const std::vector<std::wstring>& texts, const std::wstring& text);
// Index of the first text at or after `from` equal to `text`, or npos.
size_t FindLine(const std::vector<std::wstring>& texts, const std::wstring& text, size_t from = 0);
// Index of the first text at or after `from` that starts with `prefix`, or npos.
size_t FindLinePrefix(const std::vector<std::wstring>& texts, const std::wstring& prefix, size_t from = 0);
