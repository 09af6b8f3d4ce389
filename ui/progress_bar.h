// Non-owning view of a progress bar. The Set/get calls send: from a worker
// thread each waits until the window's thread has served it. The Post calls
// queue the message and return at once, so a worker that the window's thread
// may join never waits on that thread.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include "ui/window.h"

namespace kro::ui {

class ProgressBar : public Window {
public:
    using Window::Window;

    // The range, with the bounds in 16 bits (PBM_SETRANGE).
    void SetRange(int lower, int upper) const {
        SendMessageW(Handle(), PBM_SETRANGE, 0, MAKELPARAM(lower, upper));
    }
    // The range with 32-bit bounds (PBM_SETRANGE32), for counts past 65,535.
    void SetRange32(int lower, int upper) const {
        SendMessageW(Handle(), PBM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
    }
    void SetPos(int position) const { SendMessageW(Handle(), PBM_SETPOS, static_cast<WPARAM>(position), 0); }
    int Pos() const { return static_cast<int>(SendMessageW(Handle(), PBM_GETPOS, 0, 0)); }
    int Lower() const { return static_cast<int>(SendMessageW(Handle(), PBM_GETRANGE, TRUE, 0)); }
    int Upper() const { return static_cast<int>(SendMessageW(Handle(), PBM_GETRANGE, FALSE, 0)); }

    // Posted twins of SetRange32 and SetPos; false when the message could not
    // be queued.
    bool PostRange32(int lower, int upper) const {
        return PostMessageW(Handle(), PBM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper)) !=
               FALSE;
    }
    bool PostPos(int position) const {
        return PostMessageW(Handle(), PBM_SETPOS, static_cast<WPARAM>(position), 0) != FALSE;
    }
};

}  // namespace kro::ui
