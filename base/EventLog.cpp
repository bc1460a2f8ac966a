#include "base/EventLog.h"

#include <cwchar>

namespace
{
constexpr const wchar_t* kSourceName = L"Voltwren";

// The process's TOKEN_USER; empty when the token cannot be read.
std::vector<BYTE> ProcessUser()
{
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put()))
    {
        return {};
    }
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    if (size == 0 || !GetTokenInformation(token.Get(), TokenUser, user.data(), size, &size))
    {
        return {};
    }
    return user;
}
} // namespace

std::wstring EventInsert(std::wstring text)
{
    for (wchar_t& c : text)
    {
        if (c < L' ' || c == 0x7F)
        {
            c = L' ';
        }
    }
    if (text.size() > kMaxInsertChars)
    {
        // Never half a surrogate pair.
        const bool splitsPair = IS_HIGH_SURROGATE(text[kMaxInsertChars - 1]);
        text.resize(splitsPair ? kMaxInsertChars - 1 : kMaxInsertChars);
    }
    return text;
}

std::wstring HresultInsert(HRESULT hr)
{
    wchar_t text[16] = {};
    std::swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

bool EventLogSource::Open()
{
    if (!m_source)
    {
        m_source.Reset(RegisterEventSourceW(nullptr, kSourceName));
        m_user = ProcessUser();
    }
    return m_source.IsValid();
}

bool EventLogSource::Report(const EventKind& kind, const std::vector<std::wstring>& inserts)
{
    if (!m_source)
    {
        return false;
    }
    std::vector<std::wstring> texts;
    std::vector<LPCWSTR> strings;
    texts.reserve(inserts.size());
    for (const std::wstring& insert : inserts)
    {
        texts.push_back(EventInsert(insert));
        strings.push_back(texts.back().c_str());
    }
    const PSID user = m_user.empty() ? nullptr : reinterpret_cast<TOKEN_USER*>(m_user.data())->User.Sid;
    return ReportEventW(m_source.Get(), kind.type, 0, kind.id, user, static_cast<WORD>(strings.size()), 0,
                        strings.empty() ? nullptr : strings.data(), nullptr) != FALSE;
}

bool ReportOneEvent(const EventKind& kind, const std::vector<std::wstring>& inserts)
{
    EventLogSource source;
    return source.Open() && source.Report(kind, inserts);
}
