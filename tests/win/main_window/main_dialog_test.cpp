// The real main dialog, run modally as the program runs it and inspected
// from inside its modal loop: window, control places, texts, visibility,
// styles, fonts, list columns, focus, system menu and the ways it ends.
#include "main_window/kro_file_list_dlg.h"

#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/win/ui/modal_run.h"

namespace kro::testing {
namespace {

constexpr DWORD kVisible = WS_VISIBLE;

// Where each control stands, in the dialog's client coordinates, and how it
// reads and looks after the dialog has opened.
struct ExpectedControl {
    int id;
    RECT rect;  // left, top, right, bottom
    const wchar_t* text;
    bool visible;
    DWORD style;
};

RECT At(int x, int y, int width, int height) {
    return {x, y, x + width, y + height};
}

std::vector<ExpectedControl> ExpectedControls() {
    const wchar_t* const videoSummary = L"file: 0000, size: 0.00G, time 00:00";
    const wchar_t* const backupText = L"KRO \uBC31\uC5C5";
    return {
        // Summary lines.
        {1023, At(20, 11, 250, 15), videoSummary, true, 0x50020000},
        {1024, At(290, 11, 250, 15), videoSummary, true, 0x50020000},
        {1026, At(560, 11, 250, 15), videoSummary, true, 0x50020000},
        {1028, At(830, 11, 250, 15), L"file: 0000, size: 0.00G", true, 0x50020000},
        // Group boxes.
        {1009, At(10, 35, 270, 555), L"Event", true, 0x50000007},
        {1010, At(280, 35, 270, 555), L"Normal", true, 0x50000007},
        {1011, At(550, 35, 270, 555), L"Park", true, 0x50000007},
        {1012, At(820, 35, 270, 555), L"Photo", true, 0x50000007},
        // Lists, left to right in ID order.
        {1001, At(20, 50, 250, 500), L"", true, 0x50810801},
        {1002, At(290, 50, 250, 500), L"", true, 0x50810801},
        {1003, At(560, 50, 250, 500), L"", true, 0x50810801},
        {1004, At(830, 50, 250, 500), L"", true, 0x50810801},
        // Check-all buttons.
        {1015, At(20, 555, 100, 25), L"Check All/Un", true, 0x50010000},
        {1016, At(290, 555, 100, 25), L"Check All/Un", true, 0x50010000},
        {1017, At(560, 555, 100, 25), L"Check All/Un", true, 0x50010000},
        {1022, At(830, 555, 100, 25), L"Check All/Un", true, 0x50010000},
        // Backup buttons: placed, but never shown.
        {1018, At(125, 555, 100, 25), backupText, false, 0x40010000},
        {1019, At(395, 555, 100, 25), backupText, false, 0x40010000},
        {1020, At(665, 555, 100, 25), backupText, false, 0x40010000},
        {1021, At(935, 555, 100, 25), backupText, false, 0x40010000},
        // Save buttons.
        {1000, At(160, 555, 100, 25), L"AVI Save", true, 0x50010000},
        {1005, At(430, 555, 100, 25), L"AVI Save", true, 0x50010000},
        {1006, At(700, 555, 100, 25), L"AVI Save", true, 0x50010000},
        {1007, At(970, 555, 100, 25), L"JPG Save", true, 0x50010000},
        // Reload: placed, but never shown.
        {1008, At(1020, 555, 60, 25), L"Reload", false, 0x40010000},
    };
}

std::wstring TextOf(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

RECT ClientRectOf(HWND control) {
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

struct Column {
    std::wstring heading;
    int width;
};

std::vector<Column> ColumnsOf(HWND list) {
    std::vector<Column> columns;
    const int count = static_cast<int>(SendMessageW(ListView_GetHeader(list), HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t heading[64] = {};
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = heading;
        column.cchTextMax = 64;
        SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
        columns.push_back({heading, column.cx});
    }
    return columns;
}

LOGFONTW FontOf(HWND control) {
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof font, &font);
    return font;
}

TEST(MainDialogWindow, OpensAt150By150With1110By635) {
    CKroFileListDlg dialog;
    RunModalAndInspect(dialog, [](HWND window) {
        RECT rect;
        GetWindowRect(window, &rect);
        EXPECT_EQ(rect.left, 150);
        EXPECT_EQ(rect.top, 150);
        EXPECT_EQ(rect.right - rect.left, 1110);
        EXPECT_EQ(rect.bottom - rect.top, 635);
    });
}

TEST(MainDialogWindow, IsAFixedUnicodeWindowOfTheSingleInstanceClass) {
    CKroFileListDlg dialog;
    RunModalAndInspect(dialog, [](HWND window) {
        wchar_t className[64] = {};
        GetClassNameW(window, className, 64);
        EXPECT_STREQ(className, L"MERIN.KROFILELIST");
        EXPECT_TRUE(IsWindowUnicode(window));
        EXPECT_EQ(TextOf(window), L"KroFileList");
        const auto style = static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE));
        EXPECT_EQ(style & 0x90C800C8u, 0x90C800C8u);
        EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);
        const auto exStyle = static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE));
        EXPECT_TRUE(exStyle & WS_EX_APPWINDOW);
        EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
    });
}

TEST(MainDialogWindow, CarriesTheApplicationIconBigAndSmall) {
    CKroFileListDlg dialog;
    RunModalAndInspect(dialog, [](HWND window) {
        HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
        ASSERT_NE(icon, nullptr);
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_BIG, 0)), icon);
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, ICON_SMALL, 0)), icon);
        // The icon also stands for the minimised window being dragged.
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(window, WM_QUERYDRAGICON, 0, 0)), icon);
    });
}

TEST(MainDialogControls, EachControlHasItsPlaceTextVisibilityAndStyle) {
    CKroFileListDlg dialog;
    RunModalAndInspect(dialog, [](HWND window) {
        for (const ExpectedControl& expected : ExpectedControls()) {
            SCOPED_TRACE(expected.id);
            HWND control = GetDlgItem(window, expected.id);
            ASSERT_NE(control, nullptr);
            const RECT rect = ClientRectOf(control);
            EXPECT_EQ(rect.left, expected.rect.left);
            EXPECT_EQ(rect.top, expected.rect.top);
            EXPECT_EQ(rect.right, expected.rect.right);
            EXPECT_EQ(rect.bottom, expected.rect.bottom);
            EXPECT_EQ(TextOf(control), expected.text);
            EXPECT_EQ(IsWindowVisible(control) != FALSE, expected.visible);
            auto style = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
            // A push button with the focus is drawn as the default button.
            if (expected.style == 0x50010000 || expected.style == 0x40010000)
                style &= ~DWORD{BS_DEFPUSHBUTTON};
            // The dialog manager draws a control's border as a sunken client
            // edge instead of a plain line.
            const auto exStyle = static_cast<DWORD>(GetWindowLongW(control, GWL_EXSTYLE));
            if ((expected.style & WS_BORDER) && (exStyle & WS_EX_CLIENTEDGE)) style |= WS_BORDER;
            EXPECT_EQ(style, expected.style);
            EXPECT_EQ((style & kVisible) != 0, expected.visible);
        }
    });
}

TEST(MainDialogControls, FocusIsOnTheEventSaveButton) {
    CKroFileListDlg dialog;
    RunModalAndInspect(dialog,
                       [](HWND window) { EXPECT_EQ(GetFocus(), GetDlgItem(window, IDC_SAVE_EVENT)); });
}

TEST(MainDialogLists, PhotoHasThreeColumnsTheOthersFour) {
    CKroFileListDlg dialog;
    RunModalAndInspect(dialog, [](HWND window) {
        for (int id : {IDC_EVENT_LIST, IDC_NORMAL_LIST, IDC_PARK_LIST, IDC_PHOTO_LIST}) {
            SCOPED_TRACE(id);
            const std::vector<Column> columns = ColumnsOf(GetDlgItem(window, id));
            ASSERT_EQ(columns.size(), id == IDC_PHOTO_LIST ? 3u : 4u);
            EXPECT_EQ(columns[0].heading, L" ");
            EXPECT_EQ(columns[0].width, 20);
            EXPECT_EQ(columns[1].heading, L"Filename");
            EXPECT_EQ(columns[1].width, 126);
            EXPECT_EQ(columns[2].heading, L"Size");
            EXPECT_EQ(columns[2].width, 43);
            if (columns.size() == 4) {
                EXPECT_EQ(columns[3].heading, L"Min/Sec");
                EXPECT_EQ(columns[3].width, 40);
            }
        }
    });
}

TEST(MainDialogLists, GridCheckBoxesFullRowAndRowsAtLeast14High) {
    CKroFileListDlg dialog;
    RunModalAndInspect(dialog, [](HWND window) {
        HIMAGELIST shared = nullptr;
        for (int id : {IDC_EVENT_LIST, IDC_NORMAL_LIST, IDC_PARK_LIST, IDC_PHOTO_LIST}) {
            SCOPED_TRACE(id);
            HWND list = GetDlgItem(window, id);
            EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), 0x25);
            EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
            HIMAGELIST images = ListView_GetImageList(list, LVSIL_SMALL);
            ASSERT_NE(images, nullptr);
            if (shared == nullptr) shared = images;
            EXPECT_EQ(images, shared);  // one image list for all four
            int width = 0, height = 0;
            ASSERT_TRUE(ImageList_GetIconSize(images, &width, &height));
            EXPECT_EQ(width, 1);
            EXPECT_EQ(height, 14);
            EXPECT_EQ(ImageList_GetImageCount(images), 0);
        }
    });
}

TEST(MainDialogFonts, ListsGroupBoxesAndSummariesShareArialAtTheScreenDpi) {
    CKroFileListDlg dialog;
    RunModalAndInspect(dialog, [](HWND window) {
        HDC screen = GetDC(nullptr);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        ASSERT_EQ(dpi, 96) << "the Wine session runs at 96 DPI";

        const HFONT labelFont =
            reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(window, IDC_EVENT_LIST), WM_GETFONT, 0, 0));
        for (int id : {1001, 1002, 1003, 1004, 1009, 1010, 1011, 1012, 1023, 1024, 1026, 1028}) {
            SCOPED_TRACE(id);
            EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(window, id), WM_GETFONT, 0, 0)),
                      labelFont);
        }
        const LOGFONTW font = FontOf(GetDlgItem(window, IDC_EVENT_LIST));
        EXPECT_EQ(font.lfHeight, -13);
        EXPECT_EQ(font.lfWidth, 0);
        EXPECT_EQ(font.lfWeight, 0);
        EXPECT_FALSE(font.lfItalic);
        EXPECT_FALSE(font.lfUnderline);
        EXPECT_FALSE(font.lfStrikeOut);
        EXPECT_EQ(font.lfCharSet, 129);
        EXPECT_EQ(font.lfOutPrecision, 3);
        EXPECT_EQ(font.lfClipPrecision, 2);
        EXPECT_EQ(font.lfQuality, 1);
        EXPECT_EQ(font.lfPitchAndFamily, 0x32);
        EXPECT_STREQ(font.lfFaceName, L"Arial");

        // The buttons keep the dialog's own font.
        for (int id : {1000, 1005, 1006, 1007, 1015, 1016, 1017, 1022}) {
            SCOPED_TRACE(id);
            EXPECT_NE(reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(window, id), WM_GETFONT, 0, 0)),
                      labelFont);
        }
    });
}

TEST(MainDialogLifetime, FontAndRowImagesOutliveTheListsAndAreReleasedOnce) {
    HFONT font = nullptr;
    HIMAGELIST images = nullptr;
    {
        CKroFileListDlg dialog;
        RunModalAndInspect(dialog, [&](HWND window) {
            HWND list = GetDlgItem(window, IDC_PHOTO_LIST);
            font = reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0));
            images = ListView_GetImageList(list, LVSIL_SMALL);
        });
        // The window and its lists are gone; the dialog object still owns
        // both, and the lists did not take the image list with them.
        EXPECT_EQ(GetObjectType(font), static_cast<DWORD>(OBJ_FONT));
        int width = 0, height = 0;
        EXPECT_TRUE(ImageList_GetIconSize(images, &width, &height));
        EXPECT_EQ(height, 14);
    }
    EXPECT_EQ(GetObjectType(font), 0u);
}

TEST(MainDialogTimer, CardWatchTimerRuns) {
    CKroFileListDlg dialog;
    RunModalAndInspect(dialog, [](HWND window) {
        // KillTimer succeeds only for a timer that exists.
        EXPECT_TRUE(KillTimer(window, 0));
    });
}

TEST(MainDialogEnding, EscapeEndsTheModalRun) {
    CKroFileListDlg dialog;
    const INT_PTR result = RunModalWithSteps(dialog, [](HWND) {
        PostKeyToFocus(VK_ESCAPE);
        return true;
    });
    EXPECT_EQ(result, IDCANCEL);
}

TEST(MainDialogEnding, EnterWhileAListHasTheFocusEndsTheModalRun) {
    CKroFileListDlg dialog;
    int step = 0;
    const INT_PTR result = RunModalWithSteps(dialog, [&](HWND window) {
        if (step++ == 0) {
            SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window, IDC_NORMAL_LIST)),
                         TRUE);
            return false;
        }
        EXPECT_EQ(GetFocus(), GetDlgItem(window, IDC_NORMAL_LIST));
        PostKeyToFocus(VK_RETURN);
        return true;
    });
    EXPECT_EQ(result, IDOK);
}

TEST(MainDialogEnding, TheCloseCommandEndsTheModalRun) {
    CKroFileListDlg dialog;
    const INT_PTR result = RunModalWithSteps(dialog, [](HWND window) {
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        return true;
    });
    EXPECT_EQ(result, IDCANCEL);
}

// Enumeration callback (named: on 32-bit Windows a lambda has the wrong
// calling convention): stops at the visible About box.
BOOL CALLBACK StopAtAboutBox(HWND window, LPARAM param) {
    if (TextOf(window) == L"KroFileList \uC815\uBCF4" && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(param) = window;
        return FALSE;
    }
    return TRUE;
}

// Finds the About box: a top-level window of this thread with its caption.
HWND FindAboutBox() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), StopAtAboutBox, reinterpret_cast<LPARAM>(&found));
    return found;
}

TEST(MainDialogAbout, SystemMenuCarriesTheAboutEntry) {
    CKroFileListDlg dialog;
    RunModalAndInspect(dialog, [](HWND window) {
        HMENU menu = GetSystemMenu(window, FALSE);
        wchar_t text[64] = {};
        ASSERT_GT(GetMenuStringW(menu, IDM_ABOUTBOX, text, 64, MF_BYCOMMAND), 0);
        EXPECT_STREQ(text, L"KroFileList \uC815\uBCF4(&A)...");
    });
}

// Opens the About box with the given system command, checks that it is modal
// over the main window, closes it and ends the main dialog.
void ExpectAboutBoxFrom(WPARAM command) {
    CKroFileListDlg dialog;
    enum { kOpen, kWaitForBox, kWaitForClose } phase = kOpen;
    bool sawBox = false;
    const INT_PTR result = RunModalWithSteps(dialog, [&](HWND window) {
        switch (phase) {
            case kOpen:
                PostMessageW(window, WM_SYSCOMMAND, command, 0);
                phase = kWaitForBox;
                return false;
            case kWaitForBox: {
                HWND about = FindAboutBox();
                if (about == nullptr) return false;
                sawBox = true;
                EXPECT_EQ(GetWindow(about, GW_OWNER), window);
                RECT main = {}, box = {};
                GetWindowRect(window, &main);
                GetWindowRect(about, &box);
                EXPECT_NEAR((box.left + box.right) / 2, (main.left + main.right) / 2, 1);
                EXPECT_NEAR((box.top + box.bottom) / 2, (main.top + main.bottom) / 2, 1);
                EXPECT_FALSE(IsWindowEnabled(window));
                PostMessageW(about, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
                phase = kWaitForClose;
                return false;
            }
            case kWaitForClose:
                if (FindAboutBox() != nullptr) return false;
                EXPECT_TRUE(IsWindowEnabled(window));
                EndDialog(window, kInspected);
                return true;
        }
        return true;
    });
    EXPECT_TRUE(sawBox);
    EXPECT_EQ(result, kInspected);
}

TEST(MainDialogAbout, AboutCommandOpensTheAboutBoxModally) {
    ExpectAboutBoxFrom(IDM_ABOUTBOX);
}

TEST(MainDialogAbout, LowFourBitsOfTheCommandAreIgnored) {
    ExpectAboutBoxFrom(IDM_ABOUTBOX | 0x3);
}

}  // namespace
}  // namespace kro::testing
