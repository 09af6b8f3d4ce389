// Runs the progress dialog modally over an owner window, as the main dialog
// does, through the one modal runner (tests/win/ui/modal_run.h).
#pragma once

#include <windows.h>

#include <functional>
#include <set>
#include <string>

#include "export/avi_progress.h"
#include "tests/win/ui/modal_run.h"

namespace kro::testing {

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

// Process IDs of the running programs that show folders (explorer, winefile).
std::set<DWORD> FolderViewerProcesses();
// Process IDs of the running device library hosts (KroLibHost64/32.exe).
std::set<DWORD> LibraryHostProcesses();

}  // namespace kro::testing
