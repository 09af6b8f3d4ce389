#include "ui/dialog.h"

#include <algorithm>

#include "ui/program_resources.h"

namespace kro::ui {

INT_PTR Dialog::RunModal(HWND owner) {
    if (hwnd_ != nullptr) return -1;  // already running
    return DialogBoxParamW(ProgramInstance(), MAKEINTRESOURCEW(templateId_), owner, &Dialog::StaticProc,
                           reinterpret_cast<LPARAM>(this));
}

void Dialog::MapCommand(int controlId, UINT code, CommandHandler handler) {
    commands_.push_back({controlId, code, std::move(handler)});
}

void Dialog::MapNotify(int controlId, UINT code, NotifyHandler handler) {
    notifies_.push_back({controlId, code, std::move(handler)});
}

INT_PTR CALLBACK Dialog::StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Dialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(lParam);
        SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->hwnd_ = hwnd;
    } else {
        self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (WM_SETFONT) and after WM_NCDESTROY.
    if (self == nullptr) return FALSE;

    INT_PTR handled = FALSE;
    try {
        handled = self->HandleMessage(message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind through user32. A dialog whose initialisation
        // failed half-way is not shown at all; any other message whose
        // handler failed gets the default processing.
        if (message == WM_INITDIALOG) EndDialog(hwnd, -1);
        handled = FALSE;
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->hwnd_ = nullptr;
    }
    return handled;
}

INT_PTR Dialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            RECT before = {};
            GetWindowRect(hwnd_, &before);
            const bool defaultFocus = OnInitDialog();
            RECT after = {};
            GetWindowRect(hwnd_, &after);
            if (EqualRect(&before, &after)) CentreOverOwner();
            return defaultFocus ? TRUE : FALSE;
        }
        case WM_COMMAND:
            return HandleCommand(LOWORD(wParam), HIWORD(wParam));
        case WM_NOTIFY:
            return HandleNotify(*reinterpret_cast<const NMHDR*>(lParam));
        case WM_TIMER:
            OnTimer(static_cast<UINT_PTR>(wParam));
            return TRUE;
        case WM_PAINT:
            return OnPaint() ? TRUE : FALSE;
        case WM_QUERYDRAGICON:
            // One of the few messages whose result the procedure returns
            // directly rather than through DWLP_MSGRESULT.
            return reinterpret_cast<INT_PTR>(OnQueryDragIcon());
        case WM_SYSCOMMAND:
            return OnSysCommand(static_cast<UINT>(wParam), lParam) ? TRUE : FALSE;
        case WM_DESTROY:
            OnDestroy();
            return FALSE;
        default:
            break;
    }
    if (message >= WM_APP && message <= 0xBFFF) {
        LRESULT result = 0;
        if (OnAppMessage(message, wParam, lParam, result)) return Reply(result);
    }
    return FALSE;
}

INT_PTR Dialog::HandleCommand(int id, UINT code) {
    for (const CommandRoute& route : commands_) {
        if (route.controlId == id && route.code == code) {
            route.handler();
            return TRUE;
        }
    }
    if (code == BN_CLICKED && id == IDOK) {
        // Enter with the focus on a push button is a click on that button.
        // Windows routes the key to the button itself; Wine sends IDOK when
        // the dialog's initial focus did not make the button the default.
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd_, focus) && GetDlgCtrlID(focus) != IDOK &&
            (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) {
            return HandleCommand(GetDlgCtrlID(focus), BN_CLICKED);
        }
        OnOK();
        return TRUE;
    }
    if (code == BN_CLICKED && id == IDCANCEL) {
        OnCancel();
        return TRUE;
    }
    return FALSE;
}

INT_PTR Dialog::HandleNotify(const NMHDR& header) {
    for (const NotifyRoute& route : notifies_) {
        if (static_cast<UINT_PTR>(route.controlId) == header.idFrom && route.code == header.code) {
            LRESULT result = 0;
            route.handler(header, result);
            return Reply(result);
        }
    }
    return FALSE;
}

void Dialog::CentreOverOwner() const {
    if (GetWindowLongW(hwnd_, GWL_STYLE) & WS_CHILD) return;
    RECT area = {};
    HMONITOR monitor = MonitorFromWindow(hwnd_, MONITOR_DEFAULTTOPRIMARY);
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info)) {
        area = info.rcWork;
    } else {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT reference = area;
    HWND owner = GetWindow(hwnd_, GW_OWNER);
    if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &reference);

    RECT own = {};
    GetWindowRect(hwnd_, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    int x = (reference.left + reference.right - width) / 2;
    int y = (reference.top + reference.bottom - height) / 2;
    // Keep the whole dialog on the work area where it fits.
    x = std::max(static_cast<int>(area.left), std::min(x, static_cast<int>(area.right) - width));
    y = std::max(static_cast<int>(area.top), std::min(y, static_cast<int>(area.bottom) - height));
    SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR Dialog::Reply(LRESULT result) const {
    SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
    return TRUE;
}

}  // namespace kro::ui
