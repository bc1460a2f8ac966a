#pragma once

#include "detection/DetectionSettings.h"

#include <windows.h>

// How often a command goes out on mains. Active: every kCommandSpacingMs at most. After
// the policy's settle time with nothing that asks for attention, settled: every
// settledPollMs only, for a notebook that sits on its charger for hours with nothing
// to tell. Attention (a power notice, a change of charging type, a failed read) brings
// the active cadence back at once, for at least the settle time from then; a new
// detection thread (a start, a resume) begins active. Belongs to the detection thread.
class Cadence
{
public:
    explicit Cadence(const CadencePolicy& policy);

    // Something asks for attention: active again, logged with `reason` when it was settled.
    void Attention(const wchar_t* reason);
    // Settles when the settle time has passed since the last attention, with its log line.
    void SettleIfDue();
    // The least time between two commands now.
    DWORD CommandSpacingMs() const;

private:
    CadencePolicy m_policy;
    ULONGLONG m_attentionAt;
    bool m_settled = false;
};
