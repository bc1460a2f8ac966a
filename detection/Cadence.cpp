#include "detection/Cadence.h"

#include "detection/PollingFigures.h"
#include "logging/ApacheLogger.h"

Cadence::Cadence(const CadencePolicy& policy) : m_policy(policy), m_attentionAt(GetTickCount64()) {}

void Cadence::Attention(const wchar_t* reason)
{
    m_attentionAt = GetTickCount64();
    if (m_settled)
    {
        m_settled = false;
        VWN_LOGW(L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] Detection active again: %ws.",
                 reason);
    }
}

void Cadence::SettleIfDue()
{
    if (m_settled || m_policy.settleAfterMs == 0 || GetTickCount64() - m_attentionAt < m_policy.settleAfterMs)
    {
        return;
    }
    m_settled = true;
    VWN_LOGW(
        L"[ChipAccessHelper][ChipAccessHelper::DetectionThreadFunc] Detection settled: reading every %u s until something changes.",
        static_cast<unsigned>(m_policy.settledPollMs / 1000));
}

DWORD Cadence::CommandSpacingMs() const
{
    return m_settled ? m_policy.settledPollMs : kCommandSpacingMs;
}
