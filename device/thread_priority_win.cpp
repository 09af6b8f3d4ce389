#include "device/thread_priority.h"

#include <windows.h>

namespace kro {

void SetCurrentThreadTimeCritical() {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
}

}  // namespace kro
