#pragma once

#include <windows.h>

// When the detection thread runs: while the shell wants it (from Run at start-up
// or wake-up until Stop before sleep) and the machine is not on battery. No
// charger can be charging on battery, so polling then only costs power.
class RunConditions
{
public:
    enum class Action
    {
        None,
        // Start a thread that begins as usual.
        Start,
        // On battery now: stop the thread and forget the charging type.
        Pause,
        // On mains again and wanted: start a thread that reads at once.
        Resume,
        // On mains again while not wanted: nothing starts until the shell wants it.
        ResumeAtNextRun,
    };

    // The shell wants detection (Run): Start, or None while on battery.
    Action Want();
    // The shell stops detection (Stop), which stops the thread; the next start is
    // a fresh one, also when it comes with mains power after a wake-up on battery.
    void StopWanting();
    // A power notice. Only a definite 0 ("offline") is battery; 1 and 255
    // ("unknown") are mains, so a machine that cannot tell keeps polling. Back
    // on mains and wanted: Resume the paused run, or Start afresh after a Stop.
    Action PowerSource(BYTE acLineStatus);

private:
    bool m_wanted = false;
    bool m_onBattery = false;
    bool m_startAfresh = false;
};
