#include "support/ToastJournal.h"

namespace
{
std::vector<std::string> SplitTabs(const std::string& line)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t end = line.find('\t'); end != std::string::npos; end = line.find('\t', start))
    {
        fields.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}
} // namespace

std::vector<ToastRecord> ShownToasts(const std::wstring& journal)
{
    std::vector<ToastRecord> shown;
    const std::string bytes = ReadFileBytes(journal);
    size_t start = 0;
    for (size_t end = bytes.find('\n'); end != std::string::npos; end = bytes.find('\n', start))
    {
        std::string line = bytes.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
        {
            line.pop_back();
        }
        const auto fields = SplitTabs(line);
        if (fields.size() >= 5 && fields[1] == "Show")
        {
            shown.push_back(ToastRecord{fields[1], fields[2], fields[3], fields[4]});
        }
    }
    return shown;
}

std::vector<ToastRecord> WaitForToasts(const std::wstring& journal, size_t count, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;)
    {
        std::vector<ToastRecord> shown = ShownToasts(journal);
        if (shown.size() >= count || GetTickCount64() > deadline)
        {
            return shown;
        }
        Sleep(50);
    }
}

ToastPlatformFiles::ToastPlatformFiles() : m_folder(L"toasts")
{
    SetEnvironmentVariableW(L"VWN_TOAST_JOURNAL", Journal().c_str());
    SetEnvironmentVariableW(L"VWN_TOAST_FAIL_FILE", FailSwitch().c_str());
}

ToastPlatformFiles::~ToastPlatformFiles()
{
    SetEnvironmentVariableW(L"VWN_TOAST_JOURNAL", nullptr);
    SetEnvironmentVariableW(L"VWN_TOAST_FAIL_FILE", nullptr);
}
