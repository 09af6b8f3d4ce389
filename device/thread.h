// CThread: the base of a worker thread with a cooperative stop and a bounded
// wait. A derived class supplies OnStep (and may override the other hooks);
// the thread body calls OnBegin, then OnStep until it returns false or a stop
// is requested (looked at before every step), then OnStopped or OnFinished,
// then OnEnd.
//
// Ownership: the owner starts, stops and joins the thread. The object is
// never destroyed under a running body: destruction requests the stop, waits
// up to 2 seconds in 100 ms checks, and then joins the thread even when the
// wait ran out, so a body stuck in a call delays the destruction rather than
// running on into freed memory. An owner that must not block (e.g. while the
// device library may hang) checks WaitForEnd first and keeps the object alive
// when it returns false.
//
// A derived class whose steps use its own members calls StopThread() in its
// own destructor: by the time the base destructor runs, the derived part (and
// its OnStep) is gone. Start, RequestStop and WaitForEnd are for the owner's
// thread only; the hooks run on the worker thread (OnPrepare excepted).
#pragma once

#include <atomic>
#include <thread>

#include "device/clock.h"
#include "device/thread_priority.h"

namespace kro {

class CThread {
public:
    // The clock serves the bounded waits; the priority is raised first
    // thing on every new thread. Both must outlive the object.
    CThread(Clock& clock, ThreadPriority& priority);
    virtual ~CThread();
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Creates the thread, which raises its own priority. False when a body still
    // runs, when OnPrepare refuses, or when no thread could be created.
    bool Start();
    // Asks a running body to end before its next step; nothing when idle.
    void RequestStop();
    // Waits for the body to end: true at once when none runs, else checks
    // every 100 ms, seconds * 10 times. On true the ended thread is joined.
    bool WaitForEnd(int seconds);

protected:
    // Hooks, in this order in the virtual table after the destructor.
    // In the starting thread before the thread exists; false cancels Start.
    virtual bool OnPrepare() { return true; }
    // First call in the new thread; false skips every step.
    virtual bool OnBegin() { return true; }
    // One step of the loop; false ends the loop.
    virtual bool OnStep() = 0;
    // Last call in the thread, on every way out (also after a hook threw).
    virtual void OnEnd() {}
    // Before OnEnd when a stop request ended the loop.
    virtual void OnStopped() {}
    // Before OnEnd when OnBegin or OnStep returned false.
    virtual void OnFinished() {}

    // Request, bounded wait (2 s), then join whatever the wait's result.
    void StopThread();

    // The running thread object while a body runs; null when none does. It
    // is set before the body can start, so the body's clearing at its end can
    // never be overtaken.
    std::atomic<std::thread*> thread{nullptr};
    // True when no body runs.
    std::atomic<bool> finished{true};
    // Set to ask the body to end; cleared by Start.
    std::atomic<bool> stopRequested{true};

    Clock& clock_;
    ThreadPriority& priority_;

private:
    // RunHooks, then OnEnd, then the end mark, on every way out: a hook
    // that throws (anything) ends the body as if it had finished.
    void Body();
    // OnBegin, the steps, then OnStopped or OnFinished.
    void RunHooks();
    // The body's last touch of this object.
    void MarkEnded();
    void JoinEnded();

    std::thread worker_;
};

}  // namespace kro
