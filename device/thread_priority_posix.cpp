#include "device/thread_priority.h"

namespace kro {

// Raising priority needs privileges on POSIX systems and the poller only
// sleeps; the portable build leaves the thread as it is.
void SetCurrentThreadTimeCritical() {}

}  // namespace kro
