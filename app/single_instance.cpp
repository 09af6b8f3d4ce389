#include "app/single_instance.h"

#include "resources/window_class.h"

namespace kro {

namespace {

constexpr bool SameName(const char* narrow, const wchar_t* wide) {
    for (; *narrow != '\0' || *wide != L'\0'; ++narrow, ++wide) {
        if (static_cast<wchar_t>(*narrow) != *wide) return false;
    }
    return true;
}
// A second copy looks for the running one's window under the mutex's name.
static_assert(SameName(kSingleInstanceName, kMainWindowClass));

}  // namespace

void RaiseRunningCopy() {
    HWND running = FindWindowA(kSingleInstanceName, nullptr);
    if (running != nullptr) SetForegroundWindow(running);
}

}  // namespace kro
