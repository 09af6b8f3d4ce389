// Runs the progress dialog modally over an owner window, as the main dialog
// does, through the one modal runner (tests/win/ui/modal_run.h).
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <future>
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

// The "Saved" box's text after a run in which every recording was exported.
inline constexpr char kCompleteText[] =
    "Save the conversion is complete.\nThe folder is C:\\ZiduvOra\\. Do you want to open the folder?";

// A progress bar's range and position.
struct Bar {
    int lower = -1;
    int upper = -1;
    int position = -1;
    bool operator==(const Bar&) const = default;
};
Bar ReadBar(HWND dialog, int id);

// Holds the library's conversion calls until the test opens it. The worker
// calls into it, so a test declares it before the dialog (which joins the
// worker when it goes) and an OpenOnExit after the dialog, so that a failing
// test never leaves the worker waiting at the join.
class Gate {
public:
    // Waits on a copy: the gate itself may go while a caller still waits.
    void Wait() const {
        const std::shared_future<void> opened = opened_;
        opened.wait();
    }
    void Open() {
        if (!open_.exchange(true)) promise_.set_value();
    }

private:
    std::promise<void> promise_;
    std::shared_future<void> opened_ = promise_.get_future().share();
    std::atomic<bool> open_{false};
};

struct OpenOnExit {
    Gate& gate;
    ~OpenOnExit() { gate.Open(); }
};

// What the "Saved" box said and offered, and the bars behind it.
struct BoxSeen {
    bool found = false;
    std::string text;
    bool yes = false, no = false, ok = false;
    Bar files, step;
};
// Reads the "Saved" box (found only when the dialog owns it) and the bars
// behind it, then answers.
bool ReadBoxAndAnswer(HWND dialog, BoxSeen& seen, WPARAM answer);

}  // namespace kro::testing
