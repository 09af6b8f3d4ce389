// Runs the progress dialog modally over an owner window, as the main dialog
// does, and drives it from inside the modal loops: a thread timer calls the
// test's step every 20 ms until the step returns true. A watchdog ends the
// dialog should the test hang.
#pragma once

#include <windows.h>

#include <functional>
#include <set>
#include <string>

#include "export/avi_progress.h"

namespace kro::testing {

inline constexpr INT_PTR kWatchdogEnded = 4343;

// A visible top-level window standing in for the main dialog.
class OwnerWindow {
public:
    OwnerWindow();
    ~OwnerWindow();
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;
    HWND Handle() const { return window_; }

private:
    HWND window_ = nullptr;
};

INT_PTR RunProgress(AVIProgress& dialog, HWND owner, std::function<bool(HWND dialog)> step);

// The visible "Saved" box owned by the dialog, or null.
HWND FindSavedBox(HWND dialog);
// The box's message text.
std::string BoxText(HWND box);

// Process IDs of the running programs that show folders (explorer, winefile).
std::set<DWORD> FolderViewerProcesses();

}  // namespace kro::testing
