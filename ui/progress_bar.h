// Non-owning view of a progress bar. Its messages may be sent from a worker
// thread; each send waits until the window's thread has served it.
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
    void SetPos(int position) const { SendMessageW(Handle(), PBM_SETPOS, static_cast<WPARAM>(position), 0); }
    int Pos() const { return static_cast<int>(SendMessageW(Handle(), PBM_GETPOS, 0, 0)); }
    int Lower() const { return static_cast<int>(SendMessageW(Handle(), PBM_GETRANGE, TRUE, 0)); }
    int Upper() const { return static_cast<int>(SendMessageW(Handle(), PBM_GETRANGE, FALSE, 0)); }
};

}  // namespace kro::ui
