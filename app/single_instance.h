// The single-instance rule: one name (resources/single_instance_name.h)
// serves as the named mutex that tells a second copy that the program
// already runs in this logon session, and as the main window's class
// (resources/window_class.h), by which the second copy finds the first's
// window.
#pragma once

#include <windows.h>

#include "resources/single_instance_name.h"

namespace kro {

// Brings the main window of the copy that already runs to the foreground,
// when there is one; nothing else (no restore, no message). False when no
// such window is there.
bool RaiseRunningCopy();

// Called by a copy that found the mutex (`mutex`, its own handle to it)
// already made. A copy that is ending keeps it for a few seconds after its
// window has gone, while it lets the device library go; one that is starting
// has it before its window shows. So this copy waits, at most `wait`: true
// when the other copy ended meanwhile and this one now owns the mutex and is
// the running copy; false when it raised the other's window, or gave up.
bool WaitForOtherCopy(HANDLE mutex, DWORD wait);

}  // namespace kro
