// The program's own resources: they are linked into the executable itself
// (and into the test programs), so they are found through its module handle.
#pragma once

#include <windows.h>

#include <string>

namespace kro::ui {

HINSTANCE ProgramInstance();
// A string-table entry as UTF-16; empty when it is missing.
std::wstring LoadText(UINT id);
// An icon resource at the system's icon size; shared, never destroyed.
HICON LoadProgramIcon(int id);

}  // namespace kro::ui
