// Base of our dialogs: a modal run from a dialog template among the program's
// resources, one static dialog procedure that finds the object again, typed
// handlers, and a small table routing control notifications to handlers.
// No exception leaves a handler into user32: the procedure catches all.
#pragma once

#include <windows.h>

#include <functional>
#include <vector>

namespace kro::ui {

class Dialog {
public:
    explicit Dialog(int templateId) : templateId_(templateId) {}
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; owner may be null. Returns the value given to
    // End, or -1 when the dialog could not be created or initialised.
    INT_PTR RunModal(HWND owner = nullptr);
    // Ends the modal run; RunModal returns result.
    // A popup menu the dialog's thread is tracking (the info popup) is ended
    // first: its loop would otherwise keep the thread, and with it the
    // process, until the user dismissed a menu whose window had closed.
    void End(INT_PTR result) const {
        EndMenu();
        EndDialog(hwnd_, result);
    }

    // The dialog window while it exists (from WM_INITDIALOG on), else null.
    HWND Handle() const { return hwnd_; }
    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }

protected:
    // (code, control) routes: the handler runs when the control with that ID
    // sends that notification code (WM_COMMAND, e.g. BN_CLICKED).
    using CommandHandler = std::function<void()>;
    // WM_NOTIFY routes (e.g. NM_RCLICK); the handler may set the result that
    // goes back to the control (0 unless set).
    using NotifyHandler = std::function<void(const NMHDR& header, LRESULT& result)>;
    void MapCommand(int controlId, UINT code, CommandHandler handler);
    void MapNotify(int controlId, UINT code, NotifyHandler handler);

    // Binds a view to the control with the given ID.
    template <typename View>
    void Bind(View& view, int controlId) const {
        view.Attach(Item(controlId));
    }

    // True: the system sets the focus to the first tab stop.
    virtual bool OnInitDialog() { return true; }
    virtual void OnTimer(UINT_PTR /*timerId*/) {}
    // True when the handler painted; false leaves it to the default painting.
    virtual bool OnPaint() { return false; }
    // The cursor shown while the minimised window is dragged; null: default.
    virtual HCURSOR OnQueryDragIcon() { return nullptr; }
    // True when the handler served the system command; false: default.
    virtual bool OnSysCommand(UINT /*command*/, LPARAM /*lParam*/) { return false; }
    // IDOK (Enter when no push button has the focus) and IDCANCEL (Esc, the
    // close box) end the modal run by default.
    virtual void OnOK() { End(IDOK); }
    virtual void OnCancel() { End(IDCANCEL); }
    // Messages from WM_APP up (see app_messages.h). True when served; result
    // is what SendMessage returns.
    virtual bool OnAppMessage(UINT /*message*/, WPARAM, LPARAM, LRESULT& /*result*/) { return false; }
    // The window is being destroyed; its controls still exist.
    virtual void OnDestroy() {}

private:
    struct CommandRoute {
        int controlId;
        UINT code;
        CommandHandler handler;
    };
    struct NotifyRoute {
        int controlId;
        UINT code;
        NotifyHandler handler;
    };

    static INT_PTR CALLBACK StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleCommand(int id, UINT code);
    INT_PTR HandleNotify(const NMHDR& header);
    // A dialog that its initialisation did not place opens centred over its
    // owner (over the work area when it has no visible owner), as dialogs of
    // the usual application frameworks do.
    void CentreOverOwner() const;
    // Hands a message result back through DWLP_MSGRESULT.
    INT_PTR Reply(LRESULT result) const;

    int templateId_;
    HWND hwnd_ = nullptr;
    std::vector<CommandRoute> commands_;
    std::vector<NotifyRoute> notifies_;
};

}  // namespace kro::ui
