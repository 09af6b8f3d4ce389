// The dialog base: modal run, handler dispatch, the control-notification
// table and the exception boundary, on the program's own templates.
#include "ui/dialog.h"

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <stdexcept>

#include "resources/resource.h"
#include "tests/win/ui/modal_run.h"
#include "tests/win/ui/probe_dialog.h"
#include "ui/app_messages.h"

namespace kro::testing {
namespace {

TEST(DialogRun, HandleExistsFromInitialisationToTheEndOfTheRun) {
    ProbeDialog dialog(IDD_ABOUTBOX);
    EXPECT_EQ(dialog.Handle(), nullptr);
    HWND seen = nullptr;
    const INT_PTR result = RunModalAndInspect(dialog, [&](HWND window) {
        seen = window;
        EXPECT_EQ(dialog.Handle(), window);
        EXPECT_NE(dialog.Item(IDOK), nullptr);
    });
    EXPECT_EQ(result, kInspected);
    EXPECT_EQ(dialog.initCount, 1);
    EXPECT_EQ(dialog.handleAtInit, seen);
    EXPECT_TRUE(dialog.controlsAliveAtDestroy);
    EXPECT_EQ(dialog.Handle(), nullptr);
    EXPECT_FALSE(IsWindow(seen));
}

TEST(DialogRun, CanRunAgainAfterItEnded) {
    ProbeDialog dialog(IDD_ABOUTBOX);
    EXPECT_EQ(RunModalAndInspect(dialog, [](HWND) {}), kInspected);
    EXPECT_EQ(RunModalAndInspect(dialog, [](HWND) {}), kInspected);
    EXPECT_EQ(dialog.initCount, 2);
}

TEST(DialogRun, RefusesASecondRunWhileRunning) {
    ProbeDialog dialog(IDD_ABOUTBOX);
    INT_PTR nested = 0;
    RunModalAndInspect(dialog, [&](HWND) { nested = dialog.RunModal(nullptr); });
    EXPECT_EQ(nested, -1);
    EXPECT_EQ(dialog.initCount, 1);
}

TEST(DialogRun, MissingTemplateFailsWithoutAWindow) {
    ProbeDialog dialog(4711);
    EXPECT_EQ(dialog.RunModal(nullptr), -1);
    EXPECT_EQ(dialog.initCount, 0);
}

TEST(DialogPlacement, AnUnplacedDialogWithoutOwnerOpensCentredOnTheWorkArea) {
    ProbeDialog dialog(IDD_ABOUTBOX);
    RunModalAndInspect(dialog, [](HWND window) {
        RECT area = {};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
        RECT rect = {};
        GetWindowRect(window, &rect);
        EXPECT_NEAR((rect.left + rect.right) / 2, (area.left + area.right) / 2, 1);
        EXPECT_NEAR((rect.top + rect.bottom) / 2, (area.top + area.bottom) / 2, 1);
    });
}

TEST(DialogEnding, EscapeAndTheCloseBoxCancelAndEnterConfirms) {
    {
        ProbeDialog dialog(IDD_ABOUTBOX);
        EXPECT_EQ(RunModalWithSteps(dialog,
                                    [](HWND) {
                                        PostKeyToFocus(VK_ESCAPE);
                                        return true;
                                    }),
                  IDCANCEL);
        EXPECT_EQ(dialog.cancelCount, 1);
    }
    {
        ProbeDialog dialog(IDD_ABOUTBOX);
        EXPECT_EQ(RunModalWithSteps(dialog,
                                    [](HWND window) {
                                        PostMessageW(window, WM_CLOSE, 0, 0);
                                        return true;
                                    }),
                  IDCANCEL);
        EXPECT_EQ(dialog.cancelCount, 1);
    }
    {
        ProbeDialog dialog(IDD_ABOUTBOX);
        EXPECT_EQ(RunModalWithSteps(dialog,
                                    [](HWND) {
                                        PostKeyToFocus(VK_RETURN);
                                        return true;
                                    }),
                  IDOK);
        EXPECT_EQ(dialog.okCount, 1);
    }
}

TEST(DialogTable, RoutesAClickByControlAndCode) {
    ProbeDialog dialog(IDD_KROFILELIST_DIALOG);
    int reloadClicks = 0;
    int otherCodes = 0;
    dialog.MapCommand(IDC_RELOAD, BN_CLICKED, [&] { ++reloadClicks; });
    dialog.MapCommand(IDC_RELOAD, BN_DOUBLECLICKED, [&] { ++otherCodes; });
    RunModalAndInspect(dialog, [&](HWND window) {
        SendMessageW(GetDlgItem(window, IDC_RELOAD), BM_CLICK, 0, 0);
        EXPECT_EQ(reloadClicks, 1);
        // An unmapped button is not routed anywhere and ends nothing.
        SendMessageW(GetDlgItem(window, IDC_SAVE_NORMAL), BM_CLICK, 0, 0);
        EXPECT_TRUE(IsWindow(window));
        EXPECT_EQ(reloadClicks, 1);
        EXPECT_EQ(otherCodes, 0);
        SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_RELOAD, BN_DOUBLECLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_RELOAD)));
        EXPECT_EQ(otherCodes, 1);
        EXPECT_EQ(reloadClicks, 1);
    });
}

TEST(DialogTable, EnterOnAFocusedPushButtonClicksItInsteadOfEnding) {
    ProbeDialog dialog(IDD_KROFILELIST_DIALOG);
    int saveClicks = 0;
    dialog.MapCommand(IDC_SAVE_EVENT, BN_CLICKED, [&] { ++saveClicks; });
    const INT_PTR result = RunModalWithSteps(dialog, [&](HWND window) {
        if (saveClicks == 0) {
            EXPECT_EQ(GetFocus(), GetDlgItem(window, IDC_SAVE_EVENT));
            PostKeyToFocus(VK_RETURN);
            return false;
        }
        EndDialog(window, kInspected);
        return true;
    });
    EXPECT_EQ(result, kInspected);
    EXPECT_EQ(saveClicks, 1);
    EXPECT_EQ(dialog.okCount, 0);
}

TEST(DialogTable, NotificationResultGoesBackToTheControl) {
    ProbeDialog dialog(IDD_KROFILELIST_DIALOG);
    UINT_PTR seenFrom = 0;
    dialog.MapNotify(IDC_PARK_LIST, NM_RCLICK, [&](const NMHDR& header, LRESULT& result) {
        seenFrom = header.idFrom;
        result = 7;
    });
    RunModalAndInspect(dialog, [&](HWND window) {
        NMHDR header = {GetDlgItem(window, IDC_PARK_LIST), IDC_PARK_LIST, static_cast<UINT>(NM_RCLICK)};
        EXPECT_EQ(SendMessageW(window, WM_NOTIFY, IDC_PARK_LIST, reinterpret_cast<LPARAM>(&header)), 7);
        EXPECT_EQ(seenFrom, static_cast<UINT_PTR>(IDC_PARK_LIST));
        // Same code from another list, another code from the same list.
        seenFrom = 0;
        NMHDR other = {GetDlgItem(window, IDC_EVENT_LIST), IDC_EVENT_LIST, static_cast<UINT>(NM_RCLICK)};
        SendMessageW(window, WM_NOTIFY, IDC_EVENT_LIST, reinterpret_cast<LPARAM>(&other));
        NMHDR click = {GetDlgItem(window, IDC_PARK_LIST), IDC_PARK_LIST, static_cast<UINT>(NM_DBLCLK)};
        SendMessageW(window, WM_NOTIFY, IDC_PARK_LIST, reinterpret_cast<LPARAM>(&click));
        EXPECT_EQ(seenFrom, 0u);
    });
}

TEST(DialogMessages, ApplicationMessagesReachTheHookWithTheirResult) {
    ProbeDialog dialog(IDD_ABOUTBOX);
    dialog.appMessageResult = 33;
    RunModalAndInspect(dialog, [&](HWND window) {
        EXPECT_EQ(SendMessageW(window, ui::kRowBatchMessage, 11, 22), 33);
        SendMessageW(window, WM_APP - 1, 0, 0);  // below the application range
    });
    ASSERT_EQ(dialog.appMessages.size(), 1u);
    EXPECT_EQ(dialog.appMessages[0].message, static_cast<UINT>(ui::kRowBatchMessage));
    EXPECT_EQ(dialog.appMessages[0].wParam, 11u);
    EXPECT_EQ(dialog.appMessages[0].lParam, 22);
}

TEST(DialogMessages, PostedApplicationMessagesArriveThroughTheModalLoop) {
    ProbeDialog dialog(IDD_ABOUTBOX);
    int ticks = 0;
    RunModalWithSteps(dialog, [&](HWND window) {
        if (ticks++ == 0) {
            PostMessageW(window, ui::kRowBatchMessage, 5, 6);
            return false;
        }
        if (dialog.appMessages.empty()) return false;
        EndDialog(window, IDOK);
        return true;
    });
    ASSERT_EQ(dialog.appMessages.size(), 1u);
    EXPECT_EQ(dialog.appMessages[0].wParam, 5u);
}

TEST(DialogMessages, TimersReachOnTimerWithTheirId) {
    ProbeDialog dialog(IDD_ABOUTBOX);
    const INT_PTR result = RunModalWithSteps(dialog, [&](HWND window) {
        if (dialog.timers.empty()) {
            SetTimer(window, 7, 10, nullptr);
            return false;
        }
        EndDialog(window, IDOK);
        return true;
    });
    EXPECT_EQ(result, IDOK);
    ASSERT_FALSE(dialog.timers.empty());
    EXPECT_EQ(dialog.timers.front(), 7u);
}

TEST(DialogExceptions, AHandlerThatThrowsDoesNotUnwindIntoTheSystem) {
    ProbeDialog dialog(IDD_KROFILELIST_DIALOG);
    int clicks = 0;
    dialog.MapCommand(IDC_RELOAD, BN_CLICKED, [&] {
        ++clicks;
        throw std::runtime_error("handler failed");
    });
    const INT_PTR result = RunModalAndInspect(dialog, [&](HWND window) {
        SendMessageW(GetDlgItem(window, IDC_RELOAD), BM_CLICK, 0, 0);
        SendMessageW(GetDlgItem(window, IDC_RELOAD), BM_CLICK, 0, 0);
        EXPECT_TRUE(IsWindow(window));
    });
    EXPECT_EQ(result, kInspected);
    EXPECT_EQ(clicks, 2);
}

TEST(DialogExceptions, FailedInitialisationEndsTheRunWithoutShowingIt) {
    ProbeDialog dialog(IDD_ABOUTBOX);
    dialog.throwAtInit = true;
    bool shown = false;
    const INT_PTR result = RunModalAndInspect(dialog, [&](HWND) { shown = true; });
    EXPECT_EQ(result, -1);
    EXPECT_FALSE(shown);
    EXPECT_EQ(dialog.Handle(), nullptr);
}

}  // namespace
}  // namespace kro::testing
