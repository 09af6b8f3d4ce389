#include "tests/win/export/progress_run.h"

#include <commctrl.h>
#include <tlhelp32.h>

#include <cwctype>
#include <stdexcept>

namespace kro::testing {
namespace {

constexpr UINT kStepMs = 20;
constexpr UINT kWatchdogMs = 60000;
constexpr wchar_t kOwnerClass[] = L"KroTestProgressOwner";
// The static that holds a message box's text.
constexpr int kBoxTextId = 0xFFFF;

struct Run {
    AVIProgress* dialog = nullptr;
    std::function<bool(HWND)> step;
    UINT_PTR stepTimer = 0;
};
Run* current = nullptr;

void CALLBACK StepTick(HWND, UINT, UINT_PTR, DWORD) {
    if (current == nullptr || !current->step) return;
    HWND window = current->dialog->Handle();
    if (window == nullptr || !IsWindowVisible(window)) return;
    // A step may open a nested loop in which this timer fires again.
    auto step = std::move(current->step);
    current->step = nullptr;
    if (step(window)) {
        KillTimer(nullptr, current->stepTimer);
    } else {
        current->step = std::move(step);
    }
}

void CALLBACK WatchdogTick(HWND, UINT, UINT_PTR, DWORD) {
    if (current == nullptr) return;
    if (HWND box = FindSavedBox(current->dialog->Handle())) PostMessageW(box, WM_COMMAND, IDNO, 0);
    if (HWND window = current->dialog->Handle()) EndDialog(window, kWatchdogEnded);
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

}  // namespace

OwnerWindow::OwnerWindow() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kOwnerClass;
        return RegisterClassW(&windowClass) != 0;
    }();
    if (!registered) throw std::runtime_error("owner class not registered");
    window_ = CreateWindowExW(0, kOwnerClass, L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 150, 150, 1110, 635,
                              nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (window_ == nullptr) throw std::runtime_error("owner window not created");
}

OwnerWindow::~OwnerWindow() {
    DestroyWindow(window_);
}

INT_PTR RunProgress(AVIProgress& dialog, HWND owner, std::function<bool(HWND)> step) {
    Run run;
    run.dialog = &dialog;
    run.step = std::move(step);
    Run* outer = current;
    current = &run;
    run.stepTimer = SetTimer(nullptr, 0, kStepMs, &StepTick);
    const UINT_PTR watchdog = SetTimer(nullptr, 0, kWatchdogMs, &WatchdogTick);
    const INT_PTR result = dialog.RunModal(owner);
    KillTimer(nullptr, run.stepTimer);
    KillTimer(nullptr, watchdog);
    current = outer;
    return result;
}

HWND FindSavedBox(HWND dialog) {
    HWND box = nullptr;
    while ((box = FindWindowExW(nullptr, box, L"#32770", L"Saved")) != nullptr) {
        if (GetWindow(box, GW_OWNER) == dialog && IsWindowVisible(box)) return box;
    }
    return nullptr;
}

std::string BoxText(HWND box) {
    char text[4096] = {};
    GetDlgItemTextA(box, kBoxTextId, text, sizeof text);
    return text;
}

std::set<DWORD> FolderViewerProcesses() {
    std::set<DWORD> found;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return found;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        const std::wstring name = Lower(entry.szExeFile);
        if (name == L"explorer.exe" || name == L"winefile.exe") found.insert(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return found;
}

}  // namespace kro::testing
