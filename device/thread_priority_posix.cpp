#include "device/thread_priority.h"

namespace kro {
namespace {

// Raising priority needs privileges on POSIX systems and the poller only
// sleeps; the portable build leaves the thread as it is.
class PosixThreadPriority final : public ThreadPriority {
public:
    void RaiseCurrentThread() override {}
};

}  // namespace

ThreadPriority& SystemThreadPriority() {
    static PosixThreadPriority priority;
    return priority;
}

}  // namespace kro
