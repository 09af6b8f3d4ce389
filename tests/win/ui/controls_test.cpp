// Control views over real controls of the program's templates: list view
// rows, ANSI names, check boxes and the image list; progress bars.
#include <windows.h>

#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "resources/resource.h"
#include "tests/win/ui/modal_run.h"
#include "tests/win/ui/probe_dialog.h"
#include "ui/list_view.h"
#include "ui/progress_bar.h"

namespace kro::testing {
namespace {

// A recording name in code page 949: "이벤트_01.avi".
const char kHangulName[] = "\xC0\xCC\xBA\xA5\xC6\xAE_01.avi";

// Runs the main template without its layout and hands over the Event list
// with check boxes and three columns.
template <typename Body>
void WithList(Body body) {
    ProbeDialog dialog(IDD_KROFILELIST_DIALOG);
    ui::ListView list;
    RunModalAndInspect(dialog, [&](HWND) {
        dialog.Bind(list, IDC_EVENT_LIST);
        list.SetExtendedStyle(LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        list.InsertColumn(0, L" ", 20);
        list.InsertColumn(1, L"Filename", 126);
        list.InsertColumn(2, L"Size", 43);
        body(list);
    });
}

TEST(ListViewRows, AnsiNamesComeBackByteForByte) {
    WithList([](const ui::ListView& list) {
        ASSERT_EQ(list.InsertItemA(0, ""), 0);
        ASSERT_TRUE(list.SetItemTextA(0, 1, kHangulName));
        ASSERT_EQ(list.InsertItemA(1, ""), 1);
        ASSERT_TRUE(list.SetItemTextA(1, 1, "I_20240101_120000.avi"));
        EXPECT_EQ(list.ItemTextA(0, 1), kHangulName);
        EXPECT_EQ(list.ItemTextA(1, 1), "I_20240101_120000.avi");
        EXPECT_EQ(list.ItemTextA(0, 0), "");
        // The control shows the name as Hangul, read through the code page.
        wchar_t shown[64] = {};
        LVITEMW cell = {};
        cell.iSubItem = 1;
        cell.pszText = shown;
        cell.cchTextMax = 64;
        SendMessageW(list.Handle(), LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&cell));
        EXPECT_STREQ(shown, L"\uC774\uBCA4\uD2B8_01.avi");
    });
}

TEST(ListViewRows, LongTextsComeBackWhole) {
    WithList([](const ui::ListView& list) {
        const std::string longName(1000, 'x');
        list.InsertItemA(0, "");
        list.SetItemTextA(0, 1, longName.c_str());
        EXPECT_EQ(list.ItemTextA(0, 1), longName);
        // Double-byte characters straddling every buffer size tried.
        std::string hangul;
        for (int i = 0; i < 300; ++i) hangul += "\xB0\xA1";
        list.SetItemTextA(0, 2, hangul.c_str());
        EXPECT_EQ(list.ItemTextA(0, 2), hangul);
    });
}

TEST(ListViewRows, MissingRowsReadAsEmpty) {
    WithList([](const ui::ListView& list) {
        EXPECT_EQ(list.ItemTextA(5, 1), "");
        EXPECT_EQ(list.ItemTextA(-1, 1), "");
    });
}

TEST(ListViewRows, InsertCountAndDeleteAll) {
    WithList([](const ui::ListView& list) {
        EXPECT_EQ(list.ItemCount(), 0);
        for (int i = 0; i < 5; ++i) list.InsertItemA(i, "");
        EXPECT_EQ(list.ItemCount(), 5);
        // Inserting past the end appends.
        EXPECT_EQ(list.InsertItemA(100, ""), 5);
        EXPECT_TRUE(list.DeleteAllItems());
        EXPECT_EQ(list.ItemCount(), 0);
    });
}

TEST(ListViewChecks, RowsTickAndClearIndependently) {
    WithList([](const ui::ListView& list) {
        for (int i = 0; i < 3; ++i) list.InsertItemA(i, "");
        EXPECT_FALSE(list.IsChecked(0));
        EXPECT_TRUE(list.SetChecked(1, true));
        EXPECT_FALSE(list.IsChecked(0));
        EXPECT_TRUE(list.IsChecked(1));
        EXPECT_FALSE(list.IsChecked(2));
        EXPECT_TRUE(list.SetChecked(1, false));
        EXPECT_FALSE(list.IsChecked(1));
        // The tick is the control's own state: the list reports it as well.
        list.SetChecked(2, true);
        EXPECT_TRUE(ListView_GetCheckState(list.Handle(), 2));
    });
}

TEST(ListViewStyles, ImageListIsSetAndReturned) {
    HIMAGELIST images = ImageList_Create(1, 14, ILC_COLORDDB, 1, 0);
    WithList([&](const ui::ListView& list) {
        EXPECT_EQ(list.SetImageList(images, LVSIL_SMALL), nullptr);
        EXPECT_EQ(ListView_GetImageList(list.Handle(), LVSIL_SMALL), images);
        // Handing it back before the list goes keeps it ours.
        EXPECT_EQ(list.SetImageList(nullptr, LVSIL_SMALL), images);
    });
    int width = 0, height = 0;
    EXPECT_TRUE(ImageList_GetIconSize(images, &width, &height));
    EXPECT_EQ(height, 14);
    ImageList_Destroy(images);
}

TEST(ProgressBarView, RangeAndPositionAlsoFromAWorkerThread) {
    ProbeDialog dialog(IDD_AVIPROGRESS);
    ui::ProgressBar files;
    std::thread worker;
    bool started = false;
    RunModalWithSteps(dialog, [&](HWND window) {
        if (!started) {
            started = true;
            dialog.Bind(files, IDC_PROGRESS_FILES);
            // The worker's sends wait until this thread's modal loop serves
            // them, so the step returns and lets the loop run.
            worker = std::thread([&files] {
                files.SetRange(0, 4);
                files.SetPos(3);
            });
            return false;
        }
        if (files.Pos() != 3) return false;
        EXPECT_EQ(files.Lower(), 0);
        EXPECT_EQ(files.Upper(), 4);
        EndDialog(window, IDOK);
        return true;
    });
    if (worker.joinable()) worker.join();
    EXPECT_TRUE(started);
}

// The export worker's way: posted, 32-bit bounds, and nothing waits on the
// dialog's thread.
TEST(ProgressBarView, PostedThirtyTwoBitRangeAndPosition) {
    ProbeDialog dialog(IDD_AVIPROGRESS);
    ui::ProgressBar files;
    bool posted = false;
    const INT_PTR result = RunModalWithSteps(dialog, [&](HWND window) {
        if (!posted) {
            posted = true;
            dialog.Bind(files, IDC_PROGRESS_FILES);
            std::thread([&files] {
                EXPECT_TRUE(files.PostRange32(0, 70000));
                EXPECT_TRUE(files.PostPos(65537));
            }).join();
            return false;
        }
        if (files.Pos() != 65537) return false;
        EXPECT_EQ(files.Lower(), 0);
        EXPECT_EQ(files.Upper(), 70000);
        files.SetRange32(0, 100000);
        EXPECT_EQ(files.Upper(), 100000);
        EndDialog(window, IDOK);
        return true;
    });
    EXPECT_EQ(result, IDOK) << "the posted range and position did not arrive";
    EXPECT_TRUE(posted);
}

}  // namespace
}  // namespace kro::testing
