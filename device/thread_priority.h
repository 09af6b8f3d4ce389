// Raises the calling thread's scheduling priority where the platform has one.
#pragma once

namespace kro {

// Time-critical priority on Windows (THREAD_PRIORITY_TIME_CRITICAL); nothing
// elsewhere, where the portable tests run.
void SetCurrentThreadTimeCritical();

}  // namespace kro
