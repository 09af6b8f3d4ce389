#include "app/single_instance.h"

namespace kro {

bool RaiseRunningCopy() {
    HWND running = FindWindowA(kSingleInstanceName, nullptr);
    if (running == nullptr) return false;
    SetForegroundWindow(running);
    return true;
}

bool WaitForOtherCopy(HANDLE mutex, DWORD wait) {
    constexpr DWORD kSlice = 100;
    for (DWORD waited = 0; waited < wait; waited += kSlice) {
        if (RaiseRunningCopy()) return false;
        // The running copy owns the mutex from its start; it is ours once
        // that copy's thread has ended (abandoned) or let it go.
        const DWORD result = WaitForSingleObject(mutex, kSlice);
        if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) return true;
        if (result == WAIT_FAILED) return false;
    }
    return false;
}

}  // namespace kro
