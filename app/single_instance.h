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
// when there is one; nothing else (no restore, no message).
void RaiseRunningCopy();

}  // namespace kro
