// Ending device access in a safe order: the poller stops before the device
// library is closed, and the library is never unloaded while the poller may
// still be inside it.
#pragma once

#include "device/kro_library.h"
#include "device/schedule.h"

namespace kro {

// Asks the poller to stop and waits for it (up to 2 seconds); true when it
// has ended. False when it is stuck in a library call: the owner must then
// keep it alive (destroying it would block until the call returns).
bool StopPoller(CSchedule& poller);

// StopPoller, then, when the poller has ended, closes the library and returns
// true. A poller or another thread stuck in a hosted library is had back by
// ending the host. When one stays stuck (in-process, or a host that will not
// end), leaves the library loaded and returns false: the owner must then
// keep both objects alive and let the process end without destroying them.
bool EndDeviceAccess(CSchedule& poller, KroLibrary& library);

}  // namespace kro
