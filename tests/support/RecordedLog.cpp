#include "support/RecordedLog.h"

#include "support/TestFolders.h"

std::vector<LogRecord> ParseRecordedLog(const std::string& bytes)
{
    std::vector<LogRecord> records;
    size_t start = 0;
    for (size_t end = bytes.find('\x1e'); end != std::string::npos; end = bytes.find('\x1e', start))
    {
        const std::string record = bytes.substr(start, end - start);
        start = end + 1;
        const size_t first = record.find('\x1f');
        const size_t second = first == std::string::npos ? first : record.find('\x1f', first + 1);
        if (record.empty() || second == std::string::npos)
        {
            continue;
        }
        records.push_back(LogRecord{record[0], FromUtf8(record.substr(first + 1, second - first - 1)),
                                    FromUtf8(record.substr(second + 1))});
    }
    return records;
}

std::vector<LogRecord> ReadRecordedLog(const std::wstring& path)
{
    return ParseRecordedLog(ReadFileBytes(path));
}

std::vector<std::wstring> LogTexts(const std::vector<LogRecord>& records)
{
    std::vector<std::wstring> texts;
    for (const LogRecord& record : records)
    {
        if (record.kind != 'C')
        {
            texts.push_back(record.text);
        }
    }
    return texts;
}

size_t CountLine(const std::vector<std::wstring>& texts, const std::wstring& text)
{
    size_t count = 0;
    for (const std::wstring& t : texts)
    {
        count += t == text ? 1 : 0;
    }
    return count;
}

size_t FindLine(const std::vector<std::wstring>& texts, const std::wstring& text, size_t from)
{
    for (size_t i = from; i < texts.size(); ++i)
    {
        if (texts[i] == text)
        {
            return i;
        }
    }
    return std::wstring::npos;
}

size_t FindLinePrefix(const std::vector<std::wstring>& texts, const std::wstring& prefix, size_t from)
{
    for (size_t i = from; i < texts.size(); ++i)
    {
        if (texts[i].compare(0, prefix.size(), prefix) == 0)
        {
            return i;
        }
    }
    return std::wstring::npos;
}

std::vector<std::wstring> WithoutPollingLines(const std::vector<std::wstring>& texts)
{
    static const wchar_t* const kPollingParts[] = {L"DetectionThreadFunc", L"SendCommand2SlaveAddress",
                                                   L"DeleteTargetFile",    L"ReadQcPdPresenceStatusFromFile",
                                                   L"Preprocessing",       L"GetValueFilePath"};
    std::vector<std::wstring> kept;
    for (const std::wstring& text : texts)
    {
        bool polling = false;
        for (const wchar_t* part : kPollingParts)
        {
            polling = polling || text.find(part) != std::wstring::npos;
        }
        if (!polling)
        {
            kept.push_back(text);
        }
    }
    return kept;
}
