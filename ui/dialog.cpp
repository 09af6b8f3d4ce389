#include "ui/dialog.h"

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
        case WM_INITDIALOG:
            return OnInitDialog() ? TRUE : FALSE;
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

INT_PTR Dialog::Reply(LRESULT result) const {
    SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
    return TRUE;
}

}  // namespace kro::ui
