#include "ui/window.h"

namespace kro::ui {

std::wstring Window::Text() const {
    const int length = GetWindowTextLengthW(handle_);
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(handle_, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

}  // namespace kro::ui
