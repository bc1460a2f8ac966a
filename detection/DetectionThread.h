#pragma once

#include "base/UniqueHandle.h"

#include <windows.h>

#include <functional>
#include <memory>

// The polling thread and its stop event "vwn_polling". At most one thread lives
// at a time. A thread that does not end when stopped is never freed under: it
// keeps its stop event (and whatever its body holds) until it ends, and no
// second thread starts while it lives.
class DetectionThread
{
public:
    // Runs on the new thread until the stop event is set; the wake event asks it for a
    // read at once. Returns the thread's result.
    using Body = std::function<unsigned(HANDLE stopEvent, HANDLE wakeEvent)>;

    // Creates the auto-reset stop event "vwn_polling", unnamed when that name is
    // taken or unusable, and the unnamed wake event. Without a stop event the log
    // says why, and Start refuses.
    void CreateStopEvent();
    // Starts `body` on a new thread, created suspended until its handle is stored.
    void Start(Body body);
    // Sets the stop event and waits for the thread: 4 s, then 4 s more. Every
    // wait of the polling thread ends at the stop, so it ends at once unless a
    // call outside detection holds it (a toast); a thread that outlives both
    // waits is kept aside (HasStuckThread) until it ends.
    void Stop();
    bool HasThread() const { return m_thread.IsValid(); }
    // Asks a running thread for a read at once.
    void Wake();
    // True while a thread that did not end at its Stop still runs.
    bool HasStuckThread();
    // Gives up both events; a stuck thread keeps its own references to them.
    void CloseStopEvent()
    {
        m_stopEvent.reset();
        m_wakeEvent.reset();
    }

private:
    bool MayStart();
    void Signal();

    std::shared_ptr<UniqueHandle> m_stopEvent;
    std::shared_ptr<UniqueHandle> m_wakeEvent;
    UniqueHandle m_thread;
    UniqueHandle m_stuckThread;
};
