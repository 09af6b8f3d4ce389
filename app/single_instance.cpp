#include "app/single_instance.h"

namespace kro {

namespace {

// The class atom of the system dialog class.
constexpr ATOM kSystemDialogClass = 0x8002;
constexpr wchar_t kSingleInstanceClass[] = L"MERIN.KROFILELIST";

}  // namespace

bool RegisterSingleInstanceClass(HINSTANCE instance) {
    // The W functions keep the class (and so the dialog window) Unicode, so
    // the dialog's own texts never pass through the ANSI code page.
    WNDCLASSW description = {};
    if (!GetClassInfoW(instance, MAKEINTRESOURCEW(kSystemDialogClass), &description)) return false;
    description.lpszClassName = kSingleInstanceClass;
    // A class of this process: windows created with the program's instance
    // find it by name.
    description.hInstance = instance;
    return RegisterClassW(&description) != 0;
}

void RaiseRunningCopy() {
    HWND running = FindWindowA(kSingleInstanceName, nullptr);
    if (running != nullptr) SetForegroundWindow(running);
}

}  // namespace kro
