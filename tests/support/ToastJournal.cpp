#include "support/ToastJournal.h"

#include "support/Wait.h"

std::vector<ToastRecord> ShownToasts(const std::wstring& journal)
{
    std::vector<ToastRecord> shown;
    for (const std::string& line : Split(ReadFileBytes(journal), '\n'))
    {
        const auto fields = Split(line, '\t');
        if (fields.size() >= 5 && fields[1] == "Show")
        {
            shown.push_back(ToastRecord{fields[1], fields[2], fields[3], fields[4]});
        }
    }
    return shown;
}

std::vector<ToastRecord> WaitForToasts(const std::wstring& journal, size_t count, DWORD timeoutMs)
{
    std::vector<ToastRecord> shown;
    WaitFor(
        [&]
        {
            shown = ShownToasts(journal);
            return shown.size() >= count;
        },
        timeoutMs);
    return shown;
}

ToastPlatformFiles::ToastPlatformFiles()
    : m_folder(L"toasts"), m_journal(L"VWN_TOAST_JOURNAL", Journal()),
      m_failSwitch(L"VWN_TOAST_FAIL_FILE", FailSwitch())
{
}
