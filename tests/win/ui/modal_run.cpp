#include "tests/win/ui/modal_run.h"

#include <commctrl.h>

#include "app/single_instance.h"

namespace kro::testing {

namespace {

constexpr UINT kStepMs = 20;
constexpr UINT kWatchdogMs = 20000;

struct Run {
    ui::Dialog* dialog = nullptr;
    std::function<bool(HWND)> step;
    UINT_PTR stepTimer = 0;
    UINT_PTR watchdogTimer = 0;
};
Run* current = nullptr;

void CALLBACK StepTick(HWND, UINT, UINT_PTR, DWORD) {
    if (current == nullptr) return;
    HWND window = current->dialog->Handle();
    if (window == nullptr || !IsWindowVisible(window) || !current->step) return;
    // The step may open nested modal loops, in which this timer fires again.
    auto step = std::move(current->step);
    current->step = nullptr;
    if (step(window)) {
        KillTimer(nullptr, current->stepTimer);
    } else if (current != nullptr) {
        current->step = std::move(step);
    }
}

void CALLBACK WatchdogTick(HWND, UINT, UINT_PTR, DWORD) {
    if (current == nullptr) return;
    if (HWND window = current->dialog->Handle()) EndDialog(window, kTimedOut);
}

}  // namespace

void PrepareDialogs() {
    static const bool prepared = [] {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
        return RegisterSingleInstanceClass(GetModuleHandleW(nullptr));
    }();
    (void)prepared;
}

INT_PTR RunModalWithSteps(ui::Dialog& dialog, std::function<bool(HWND)> step) {
    PrepareDialogs();
    Run run;
    run.dialog = &dialog;
    run.step = std::move(step);
    Run* outer = current;
    current = &run;
    run.stepTimer = SetTimer(nullptr, 0, kStepMs, &StepTick);
    run.watchdogTimer = SetTimer(nullptr, 0, kWatchdogMs, &WatchdogTick);
    const INT_PTR result = dialog.RunModal(nullptr);
    KillTimer(nullptr, run.stepTimer);
    KillTimer(nullptr, run.watchdogTimer);
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

void PostKeyToFocus(UINT virtualKey) {
    HWND focus = GetFocus();
    PostMessageW(focus, WM_KEYDOWN, virtualKey, 1);
    PostMessageW(focus, WM_KEYUP, virtualKey, static_cast<LPARAM>(0xC0000001u));
}

}  // namespace kro::testing
