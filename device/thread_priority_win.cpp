#include "device/thread_priority.h"

#include <windows.h>

namespace kro {
namespace {

class Win32ThreadPriority final : public ThreadPriority {
public:
    void RaiseCurrentThread() override {
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    }
};

}  // namespace

ThreadPriority& SystemThreadPriority() {
    static Win32ThreadPriority priority;
    return priority;
}

}  // namespace kro
