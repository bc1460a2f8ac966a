#include "detection/RunConditions.h"

RunConditions::Action RunConditions::Want()
{
    m_wanted = true;
    return m_onBattery ? Action::None : Action::Start;
}

RunConditions::Action RunConditions::Unwant()
{
    m_wanted = false;
    return Action::Stop;
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
    return m_wanted ? Action::Resume : Action::Unpause;
}
