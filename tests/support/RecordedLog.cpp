#include "support/RecordedLog.h"

#include "support/TestFolders.h"

std::vector<LogRecord> ParseRecordedLog(const std::string& bytes)
{
    std::vector<LogRecord> records;
    std::vector<std::string> recorded = Split(bytes, '\x1e');
    recorded.pop_back(); // a record still being written
    for (const std::string& record : recorded)
    {
        const auto fields = Split(record, '\x1f');
        if (fields.size() == 3 && fields[0].size() == 1)
        {
            records.push_back(LogRecord{fields[0][0], FromUtf8(fields[1]), FromUtf8(fields[2])});
        }
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
    // The detection thread also starts the tool's console and probes for the chip.
    static const wchar_t* const kPollingParts[] = {L"DetectionThreadFunc",
                                                   L"SendCommand2SlaveAddress",
                                                   L"DeleteTargetFile",
                                                   L"ReadQcPdPresenceStatusFromFile",
                                                   L"Preprocessing",
                                                   L"GetValueFilePath",
                                                   L"CreatePipeRedirectedConsole",
                                                   L"DetectSlaveAddress",
                                                   L"DoReadPresenceStatus",
                                                   L"ChangeConsoleCurrentDir2ToolDir"};
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
