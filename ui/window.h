// Non-owning views of child windows: one-line forwarders over an HWND. A view
// copies nothing but the handle and never destroys the window.
#pragma once

#include <windows.h>

#include <string>

namespace kro::ui {

class Window {
public:
    Window() = default;
    explicit Window(HWND handle) : handle_(handle) {}

    void Attach(HWND handle) { handle_ = handle; }
    HWND Handle() const { return handle_; }
    int Id() const { return GetDlgCtrlID(handle_); }

    // Moves and sizes the window in its parent's client coordinates.
    bool Move(int x, int y, int width, int height, bool repaint = true) const {
        return MoveWindow(handle_, x, y, width, height, repaint) != FALSE;
    }
    void Show(bool visible) const { ShowWindow(handle_, visible ? SW_SHOW : SW_HIDE); }
    bool IsVisible() const { return IsWindowVisible(handle_) != FALSE; }

    // Fixed user-interface texts are UTF-16; texts built from device data
    // (ANSI bytes) use SetTextA.
    bool SetText(const wchar_t* text) const { return SetWindowTextW(handle_, text) != FALSE; }
    bool SetTextA(const char* text) const { return SetWindowTextA(handle_, text) != FALSE; }
    std::wstring Text() const;

    void SetFont(HFONT font, bool redraw = true) const {
        SendMessageW(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw ? TRUE : FALSE);
    }
    HFONT Font() const { return reinterpret_cast<HFONT>(SendMessageW(handle_, WM_GETFONT, 0, 0)); }
    // Switches drawing off while many changes are made, and on again.
    void SetRedraw(bool redraw) const { SendMessageW(handle_, WM_SETREDRAW, redraw ? TRUE : FALSE, 0); }

private:
    HWND handle_ = nullptr;
};

class Button : public Window {
public:
    using Window::Window;
};

class Static : public Window {
public:
    using Window::Window;
};

}  // namespace kro::ui
