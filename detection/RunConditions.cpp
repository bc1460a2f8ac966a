#include "detection/RunConditions.h"

RunConditions::Action RunConditions::Want()
{
    m_wanted = true;
    if (m_onBattery)
    {
        return Action::None;
    }
    m_startAfresh = false;
    return Action::Start;
}

void RunConditions::StopWanting()
{
    m_wanted = false;
    // After a stop (before sleep) the console and the value file may have changed.
    m_startAfresh = true;
}

RunConditions::Action RunConditions::PowerSource(BYTE acLineStatus)
{
    const bool onBattery = acLineStatus == 0;
    if (onBattery == m_onBattery)
    {
        return Action::None;
    }
    m_onBattery = onBattery;
    if (onBattery)
    {
        return Action::Pause;
    }
    if (!m_wanted)
    {
        return Action::ResumeAtNextRun;
    }
    const bool afresh = m_startAfresh;
    m_startAfresh = false;
    return afresh ? Action::Start : Action::Resume;
}
