// Runs a dialog modally, exactly as the program does, and drives it from
// inside its own modal loop: a thread timer calls the test's step while the
// dialog's message loop runs. A watchdog ends a dialog that does not end by
// itself, so a failing test cannot hang.
#pragma once

#include <windows.h>

#include <functional>

#include "ui/dialog.h"

namespace kro::testing {

// RunModal results the harness itself gives.
inline constexpr INT_PTR kInspected = 4242;
inline constexpr INT_PTR kTimedOut = 4343;

// Registers what the program registers before its first dialog: the common
// controls and the main window's class. Safe to call any number of times.
void PrepareDialogs();

// Calls step(dialog window) about every 20 ms, from the first tick at which
// the dialog is visible, until step returns true. The run then ends however
// the dialog ends it, or by the watchdog with kTimedOut.
INT_PTR RunModalWithSteps(ui::Dialog& dialog, std::function<bool(HWND)> step);

// Calls inspect(dialog window) once the dialog is visible, then ends the run
// with kInspected.
INT_PTR RunModalAndInspect(ui::Dialog& dialog, std::function<void(HWND)> inspect);

// Sends a key press to the window that has the focus through the modal loop's
// own message path, as a keyboard would (posted WM_KEYDOWN / WM_KEYUP).
void PostKeyToFocus(UINT virtualKey);

}  // namespace kro::testing
