#include "ui/dialog_class.h"

namespace kro::ui {

namespace {

// The class atom of the system dialog class.
constexpr ATOM kSystemDialogClass = 0x8002;

}  // namespace

bool RegisterDialogClass(HINSTANCE instance, const wchar_t* name) {
    // The W functions keep the class (and so the dialog window) Unicode, so
    // the dialog's own texts never pass through the ANSI code page.
    WNDCLASSW description = {};
    if (!GetClassInfoW(instance, MAKEINTRESOURCEW(kSystemDialogClass), &description)) return false;
    description.lpszClassName = name;
    // A class of this process: windows created with the program's instance
    // find it by name.
    description.hInstance = instance;
    return RegisterClassW(&description) != 0;
}

}  // namespace kro::ui
