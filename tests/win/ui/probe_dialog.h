// A dialog on one of the program's templates that records what reaches its
// handlers, for testing the dialog base.
#pragma once

#include <windows.h>

#include <functional>
#include <stdexcept>
#include <vector>

#include "ui/dialog.h"

namespace kro::testing {

struct AppMessageSeen {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class ProbeDialog : public ui::Dialog {
public:
    explicit ProbeDialog(int templateId) : Dialog(templateId) {}

    using Dialog::Bind;
    using Dialog::MapCommand;
    using Dialog::MapNotify;

    int initCount = 0;
    HWND handleAtInit = nullptr;
    bool throwAtInit = false;
    std::vector<UINT_PTR> timers;
    std::vector<AppMessageSeen> appMessages;
    LRESULT appMessageResult = 0;
    bool controlsAliveAtDestroy = false;
    int okCount = 0;
    int cancelCount = 0;

protected:
    bool OnInitDialog() override {
        ++initCount;
        handleAtInit = Handle();
        if (throwAtInit) throw std::runtime_error("initialisation failed");
        return true;
    }
    void OnTimer(UINT_PTR timerId) override { timers.push_back(timerId); }
    bool OnAppMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        appMessages.push_back({message, wParam, lParam});
        result = appMessageResult;
        return true;
    }
    void OnOK() override {
        ++okCount;
        Dialog::OnOK();
    }
    void OnCancel() override {
        ++cancelCount;
        Dialog::OnCancel();
    }
    void OnDestroy() override { controlsAliveAtDestroy = GetWindow(Handle(), GW_CHILD) != nullptr; }
};

}  // namespace kro::testing
