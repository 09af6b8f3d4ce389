#include "tests/win/ui/modal_run.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "resources/window_class.h"
#include "ui/dialog_class.h"

namespace kro::testing {

namespace {

constexpr UINT kStepMs = 20;
// After the first firing the watchdog fires again, for nested loops that
// outlived the first round.
constexpr UINT kWatchdogRepeatMs = 5000;
// The static that holds a message box's text.
constexpr int kBoxTextId = 0xFFFF;

struct Run {
    ui::Dialog* dialog = nullptr;
    std::function<bool(HWND)> step;
    UINT_PTR stepTimer = 0;
    UINT watchdogMs = 0;
};
Run* current = nullptr;

void CALLBACK StepTick(HWND, UINT, UINT_PTR, DWORD) {
    if (current == nullptr || !current->step) return;
    HWND window = current->dialog->Handle();
    if (window == nullptr || !IsWindowVisible(window)) return;
    // The step may open nested modal loops, in which this timer fires again.
    auto step = std::move(current->step);
    current->step = nullptr;
    if (step(window)) {
        KillTimer(nullptr, current->stepTimer);
    } else if (current != nullptr) {
        current->step = std::move(step);
    }
}

// Answers a visible dialog-class window of this thread other than the run's
// own dialog (a message box, or a dialog the test did not expect), naming
// it in a failure: No where it offers No, else OK.
BOOL CALLBACK AnswerBox(HWND window, LPARAM dialog) {
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (window == reinterpret_cast<HWND>(dialog) || wcscmp(className, L"#32770") != 0 ||
        !IsWindowVisible(window)) {
        return TRUE;
    }
    char caption[256] = {};
    GetWindowTextA(window, caption, sizeof caption);
    ADD_FAILURE() << "the watchdog found a box still open: \"" << caption << "\": \"" << BoxText(window)
                  << "\"";
    PostMessageW(window, WM_COMMAND, GetDlgItem(window, IDNO) != nullptr ? IDNO : IDOK, 0);
    return TRUE;
}

void CALLBACK WatchdogTick(HWND, UINT, UINT_PTR timer, DWORD) {
    SetTimer(nullptr, timer, kWatchdogRepeatMs, &WatchdogTick);
    if (current == nullptr) return;
    HWND window = current->dialog->Handle();
    ADD_FAILURE() << "the watchdog ended a modal run still going after " << current->watchdogMs << " ms";
    EndMenu();
    EnumThreadWindows(GetCurrentThreadId(), &AnswerBox, reinterpret_cast<LPARAM>(window));
    if (window != nullptr) EndDialog(window, kTimedOut);
}

}  // namespace

void PrepareDialogs() {
    static const bool prepared = [] {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        return ui::RegisterDialogClass(GetModuleHandleW(nullptr), kMainWindowClass);
    }();
    (void)prepared;
}

INT_PTR RunModalWithSteps(ui::Dialog& dialog, std::function<bool(HWND)> step, HWND owner, UINT watchdogMs) {
    PrepareDialogs();
    Run run;
    run.dialog = &dialog;
    run.step = std::move(step);
    run.watchdogMs = watchdogMs;
    Run* outer = current;
    current = &run;
    run.stepTimer = SetTimer(nullptr, 0, kStepMs, &StepTick);
    const UINT_PTR watchdog = SetTimer(nullptr, 0, watchdogMs, &WatchdogTick);
    const INT_PTR result = dialog.RunModal(owner);
    KillTimer(nullptr, run.stepTimer);
    KillTimer(nullptr, watchdog);
    current = outer;
    return result;
}

INT_PTR RunModalAndInspect(ui::Dialog& dialog, std::function<void(HWND)> inspect) {
    return RunModalWithSteps(dialog, [&inspect](HWND window) {
        inspect(window);
        EndDialog(window, kInspected);
        return true;
    });
}

std::function<bool(HWND)> Stages(std::vector<std::function<bool(HWND)>> stages) {
    auto next = std::make_shared<std::size_t>(0);
    return [stages = std::move(stages), next](HWND window) {
        if (*next < stages.size() && stages[*next](window)) ++*next;
        return *next == stages.size();
    };
}

void PostKeyToFocus(UINT virtualKey) {
    HWND focus = GetFocus();
    PostMessageW(focus, WM_KEYDOWN, virtualKey, 1);
    PostMessageW(focus, WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001u));
}

HWND FindBox(HWND owner, const wchar_t* caption) {
    HWND box = nullptr;
    while ((box = FindWindowExW(nullptr, box, L"#32770", caption)) != nullptr) {
        if (GetWindow(box, GW_OWNER) == owner && IsWindowVisible(box)) return box;
    }
    return nullptr;
}

std::string BoxText(HWND box) {
    char text[4096] = {};
    GetDlgItemTextA(box, kBoxTextId, text, sizeof text);
    return text;
}

std::wstring BoxTextW(HWND box) {
    wchar_t text[4096] = {};
    GetDlgItemTextW(box, kBoxTextId, text, 4096);
    return text;
}

}  // namespace kro::testing
