#include "ui/program_resources.h"

namespace kro::ui {

HINSTANCE ProgramInstance() {
    return GetModuleHandleW(nullptr);
}

std::wstring LoadText(UINT id) {
    // With a zero buffer size LoadStringW hands out a pointer to the
    // resource's own (unterminated) text.
    const wchar_t* text = nullptr;
    const int length = LoadStringW(ProgramInstance(), id, reinterpret_cast<wchar_t*>(&text), 0);
    if (length <= 0 || text == nullptr) return {};
    return std::wstring(text, static_cast<size_t>(length));
}

HICON LoadProgramIcon(int id) {
    return LoadIconW(ProgramInstance(), MAKEINTRESOURCEW(id));
}

}  // namespace kro::ui
