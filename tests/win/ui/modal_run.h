// The one modal runner of the Win32 tests: runs a dialog modally, exactly as
// the program does, and drives it from inside its own modal loop (a thread
// timer calls the test's step, also while the dialog's boxes and menus run
// nested loops). A watchdog ends a run that does not end by itself: it closes
// any menu, answers every box still open and fails the test naming each
// box's caption and text, then ends the dialog, so a failing test cannot
// hang. Also the message-box helpers the tests share.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/dialog.h"

namespace kro::testing {

// RunModal results the harness itself gives.
inline constexpr INT_PTR kInspected = 4242;
inline constexpr INT_PTR kTimedOut = 4343;

inline constexpr UINT kDefaultWatchdogMs = 20000;

// Registers what the program registers before its first dialog: the common
// controls and the class the main dialog's template names. Safe to call any
// number of times.
void PrepareDialogs();

// Runs the dialog modally over owner (may be null) and calls step(dialog
// window) about every 20 ms, from the first tick at which the dialog is
// visible, until step returns true. The run then ends however the dialog
// ends it, or by the watchdog after watchdogMs with kTimedOut.
INT_PTR RunModalWithSteps(ui::Dialog& dialog, std::function<bool(HWND)> step, HWND owner = nullptr,
                          UINT watchdogMs = kDefaultWatchdogMs);

// Calls inspect(dialog window) once the dialog is visible, then ends the run
// with kInspected.
INT_PTR RunModalAndInspect(ui::Dialog& dialog, std::function<void(HWND)> inspect);

// One step made of stages run in order, one stage per call: a stage
// returns true when it is done, and the step is done after the last one.
std::function<bool(HWND)> Stages(std::vector<std::function<bool(HWND)>> stages);

// Sends a key press to the window that has the focus through the modal loop's
// own message path, as a keyboard would (posted WM_KEYDOWN / WM_KEYUP).
void PostKeyToFocus(UINT virtualKey);

// The visible message box with that caption owned by owner, or null.
HWND FindBox(HWND owner, const wchar_t* caption);
// A message box's text.
std::string BoxText(HWND box);
std::wstring BoxTextW(HWND box);

}  // namespace kro::testing
