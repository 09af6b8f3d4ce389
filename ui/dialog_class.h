// Dialog window classes of our own: a copy of the system dialog class (the
// class dialogs get by default) under another name, for a dialog template
// that names a class (CLASS) so that other programs can find its window.
#pragma once

#include <windows.h>

namespace kro::ui {

// Registers the copy for this process. False when the system class cannot
// be read or the copy cannot be registered (also when it already is).
bool RegisterDialogClass(HINSTANCE instance, const wchar_t* name);

}  // namespace kro::ui
