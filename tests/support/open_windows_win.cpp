#include <windows.h>

#include "tests/support/open_windows.h"

namespace kro::testing {
namespace {

// The static that holds a message box's text.
constexpr int kBoxTextId = 0xFFFF;

BOOL CALLBACK DescribeWindow(HWND window, LPARAM lines) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window)) return TRUE;
    char className[64] = {};
    char caption[256] = {};
    char text[1024] = {};
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    GetDlgItemTextA(window, kBoxTextId, text, sizeof text);
    std::string& out = *reinterpret_cast<std::string*>(lines);
    out += std::string("  ") + className + " \"" + caption + "\"";
    if (text[0] != '\0') out += std::string(": \"") + text + "\"";
    out += "\n";
    return TRUE;
}

}  // namespace

std::string DescribeOpenWindows() {
    std::string lines;
    EnumWindows(&DescribeWindow, reinterpret_cast<LPARAM>(&lines));
    return lines;
}

}  // namespace kro::testing
