// Seam: raising the calling thread's scheduling priority, for the poller.
// The Win32 implementation sets THREAD_PRIORITY_TIME_CRITICAL; the POSIX twin
// leaves the thread as it is (raising needs privileges there, and the poller
// only sleeps). Tests use a fake that records the call.
#pragma once

namespace kro {

class ThreadPriority {
public:
    virtual ~ThreadPriority() = default;
    // Called first thing on the new thread.
    virtual void RaiseCurrentThread() = 0;
};

// The platform's implementation (one program-wide object).
ThreadPriority& SystemThreadPriority();

}  // namespace kro
