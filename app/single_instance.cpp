#include "app/single_instance.h"

namespace kro {

void RaiseRunningCopy() {
    HWND running = FindWindowA(kSingleInstanceName, nullptr);
    if (running != nullptr) SetForegroundWindow(running);
}

}  // namespace kro
