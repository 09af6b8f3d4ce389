// The main dialog following the simulator's card: the lists fill when the
// card comes, empty when it goes, and load once when it is back; reloads
// and closing during a load; the info popup and check-all on real rows.
#include <windows.h>

#include <commctrl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "tests/win/main_window/dialog_flow.h"
#include "ui/app_messages.h"

namespace kro::testing {
namespace {

using ::testing::ElementsAre;

constexpr char kZeroVideo[] = "file: 0000, size: 0.00G, time 00:00";
constexpr char kZeroPhoto[] = "file: 0000, size: 0.00G";
// Wine maps no drive letter to the simulated card's disk.
constexpr char kCardTitle[] = "KroFileList []";

// Counts what reaches the dialog's window: row batches and menu loops.
WNDPROC dialogProc = nullptr;
int rowBatches = 0;
int menuLoops = 0;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == ui::kRowBatchMessage) ++rowBatches;
    if (message == WM_ENTERMENULOOP) ++menuLoops;
    return CallWindowProcW(dialogProc, window, message, wParam, lParam);
}

bool Count(HWND window) {
    rowBatches = 0;
    menuLoops = 0;
    dialogProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountingProc)));
    return true;
}

// Waits for about n steps of 20 ms (for something that must NOT happen).
std::function<bool(HWND)> Idle(int steps) {
    auto left = std::make_shared<int>(steps);
    return [left](HWND) { return --*left <= 0; };
}

struct Shown {
    std::array<Rows, kCategoryCount> rows;
    std::array<std::string, kCategoryCount> summaries;
    std::string title;
};

Shown Read(HWND window) {
    Shown shown;
    for (RecordingCategory category : kAllCategories) {
        shown.rows[CategoryIndex(category)] = ListRows(window, category);
        shown.summaries[CategoryIndex(category)] = SummaryText(window, category);
    }
    shown.title = TextA(window);
    return shown;
}

class CardFlow : public ::testing::Test {
protected:
    CardFlow() : card_(card.Recordings()), rows(ExpectedRows(card_)), summaries(ExpectedSummaries(card_)) {}

    // The last summary line of a load is there: the load has delivered all.
    std::function<bool(HWND)> Loaded() const {
        return [this](HWND window) { return SummaryText(window, RecordingCategory::Photo) == summaries[3]; };
    }

    DemoCard card;
    std::vector<CardRecording> card_;
    std::array<Rows, kCategoryCount> rows;
    std::array<std::string, kCategoryCount> summaries;
};

TEST_F(CardFlow, CardInFillsTheListsOutEmptiesThemAndBackLoadsOnce) {
    Shown in, out, back;
    int batchesBack = 0;
    bool tickKept = false;
    CKroFileListDlg dialog;
    RunDialog(dialog, Stages({
                          &Count,
                          Loaded(),
                          [&](HWND window) {
                              in = Read(window);
                              card.Pull();
                              return true;
                          },
                          [&](HWND window) { return TextA(window) == "KroFileList"; },
                          [&](HWND window) {
                              out = Read(window);
                              rowBatches = 0;
                              card.Insert();
                              return true;
                          },
                          Loaded(),
                          [&](HWND window) {
                              back = Read(window);
                              SetChecked(window, RecordingCategory::Event, 0, true);
                              return true;
                          },
                          Idle(150),  // several ticks with the card in: nothing more may load
                          [&](HWND window) {
                              batchesBack = rowBatches;
                              tickKept = IsChecked(window, RecordingCategory::Event, 0);
                              return Close(window);
                          },
                      }));

    EXPECT_EQ(in.rows, rows);
    EXPECT_EQ(in.summaries, summaries);
    EXPECT_EQ(in.title, kCardTitle);

    for (const Rows& list : out.rows) EXPECT_TRUE(list.empty());
    EXPECT_THAT(out.summaries, ElementsAre(kZeroVideo, kZeroVideo, kZeroVideo, kZeroPhoto));
    EXPECT_EQ(out.title, "KroFileList");

    EXPECT_EQ(back.rows, rows);
    EXPECT_EQ(back.title, kCardTitle);
    EXPECT_EQ(batchesBack, 1) << "the card coming back loads once (its 40 rows are one batch)";
    EXPECT_TRUE(tickKept);
}

TEST_F(CardFlow, ReloadsDuringASlowLoadLeaveExactlyOneCopyOfEachRow) {
    SetFaults("slow=100");
    Shown loaded, later;
    CKroFileListDlg dialog;
    RunDialog(dialog, Stages({
                          [](HWND window) { return TextA(window) == kCardTitle; },  // the first load runs
                          [](HWND window) {
                              Click(window, IDC_RELOAD);
                              Click(window, IDC_RELOAD);
                              return true;
                          },
                          Loaded(),
                          [&](HWND window) { return loaded = Read(window), true; },
                          Idle(100),  // abandoned loads have long ended by now
                          [&](HWND window) {
                              later = Read(window);
                              return Close(window);
                          },
                      }));

    EXPECT_EQ(loaded.rows, rows);
    EXPECT_EQ(later.rows, rows);
    EXPECT_EQ(later.summaries, summaries);
}

TEST_F(CardFlow, ClosingDuringASlowLoadEndsTheRunAndUnloadsTheLibrary) {
    SetFaults("slow=400");  // a load takes nine calls
    INT_PTR result = 0;
    bool ended = false;
    {
        CKroFileListDlg dialog;
        result = RunDialog(dialog, Stages({
                                       [](HWND window) { return TextA(window) == kCardTitle; },
                                       &Close,
                                   }));
        ended = dialog.DeviceAccessEnded();
    }
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(ended) << "the load and the poller end within their waits";
    EXPECT_EQ(GetModuleHandleW(L"KROLib.dll"), nullptr);
}

TEST(CardFlowWithoutCard, ReloadEmptiesTheListsAndSaysNoCardWasRecognised) {
    SetEnvironmentVariableW(L"KROSIM_CARD", L"C:\\no such card");
    std::wstring text;
    std::string title;
    CKroFileListDlg dialog;
    RunDialog(dialog, Stages({
                          [](HWND window) {
                              Click(window, IDC_RELOAD);
                              return true;
                          },
                          [&](HWND window) {
                              HWND box = FindBox(window, L"\uC5D0\uB7EC");
                              if (box == nullptr) return false;
                              text = BoxTextW(box);
                              PostMessageW(box, WM_COMMAND, IDOK, 0);
                              return true;
                          },
                          [&](HWND window) {
                              title = TextA(window);
                              return Close(window);
                          },
                      }));
    SetEnvironmentVariableW(L"KROSIM_CARD", nullptr);
    EXPECT_EQ(text, L"SD\uCE74\uB4DC\uB97C \uC778\uC2DD\uD558\uC9C0 \uC54A\uC558\uC2B5\uB2C8\uB2E4.");
    EXPECT_EQ(title, "KroFileList");
}

// What the popup menu showed, read from inside its own loop.
struct MenuSeen {
    bool found = false;
    std::vector<std::string> lines;
};
MenuSeen* menuSeen = nullptr;

void CALLBACK ReadMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND popup = FindWindowW(L"#32768", nullptr);
    if (popup == nullptr || !IsWindowVisible(popup) || menuSeen == nullptr) return;
    KillTimer(nullptr, timer);
    menuSeen->found = true;
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        char text[256] = {};
        GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
        menuSeen->lines.push_back(text);
    }
    EndMenu();
}

LRESULT RightClick(HWND dialog, RecordingCategory category, int row) {
    NMITEMACTIVATE click = {};
    click.hdr.hwndFrom = ListOf(dialog, category);
    click.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(click.hdr.hwndFrom));
    click.hdr.code = NM_RCLICK;
    click.iItem = row;
    return SendMessageW(dialog, WM_NOTIFY, click.hdr.idFrom, reinterpret_cast<LPARAM>(&click));
}

TEST_F(CardFlow, ARightClickOnARowShowsItsDetailsAndBelowTheRowsNothing) {
    const Rows& events = rows[0];
    const CardRecording* first = nullptr;
    for (const CardRecording& recording : card_) {
        if (recording.name == events.at(0).at(0)) first = &recording;
    }
    ASSERT_NE(first, nullptr);
    MenuSeen onRow;
    int loopsBelowRows = -1;
    CKroFileListDlg dialog;
    RunDialog(dialog, Stages({
                          &Count,
                          Loaded(),
                          [&](HWND window) {
                              menuSeen = &onRow;
                              const UINT_PTR timer = SetTimer(nullptr, 0, 20, &ReadMenu);
                              RightClick(window, RecordingCategory::Event, 0);
                              KillTimer(nullptr, timer);
                              menuSeen = nullptr;
                              menuLoops = 0;
                              RightClick(window, RecordingCategory::Event, -1);
                              loopsBelowRows = menuLoops;
                              return Close(window);
                          },
                      }));

    ASSERT_TRUE(onRow.found);
    ASSERT_EQ(onRow.lines.size(), 11u);
    EXPECT_EQ(onRow.lines[1], "                   Event file Info                  ");
    EXPECT_EQ(onRow.lines[2], "Filename : " + first->name);
    EXPECT_EQ(onRow.lines[3], "Front frame : " + std::to_string(first->frontFrames));
    EXPECT_EQ(onRow.lines[7], "fps : " + std::to_string(first->framesPerSecond));
    EXPECT_EQ(onRow.lines[9], "Front resolution : " + std::to_string(first->frontWidth) + " x " +
                                  std::to_string(first->frontHeight));
    EXPECT_EQ(loopsBelowRows, 0) << "a click below the rows shows no menu";
}

TEST_F(CardFlow, CheckAllTogglesByItsOwnFlagWhichALoadDoesNotReset) {
    std::vector<int> eventChecked;
    int normalChecked = -1;
    const int eventRows = static_cast<int>(rows[0].size());
    auto press = [&](int button) {
        return [&, button](HWND window) {
            eventChecked.push_back(CheckedCount(window, RecordingCategory::Event));
            Click(window, button);
            return true;
        };
    };
    CKroFileListDlg dialog;
    RunDialog(dialog, Stages({
                          Loaded(),
                          press(IDC_CHECK_ALL_EVENT),  // flag 0: checks all
                          press(IDC_CHECK_ALL_EVENT),  // flag 1: unchecks all
                          press(IDC_CHECK_ALL_EVENT),  // checks all again
                          press(IDC_RELOAD),
                          [&](HWND window) {  // the reloaded rows are there, unticked
                              return static_cast<int>(ListRows(window, RecordingCategory::Event).size()) ==
                                         eventRows &&
                                     CheckedCount(window, RecordingCategory::Event) == 0;
                          },
                          press(IDC_CHECK_ALL_EVENT),  // flag still 1: unchecks (no change)
                          press(IDC_CHECK_ALL_EVENT),  // checks all
                          press(IDC_CHECK_ALL_NORMAL),
                          [&](HWND window) {
                              eventChecked.push_back(CheckedCount(window, RecordingCategory::Event));
                              normalChecked = CheckedCount(window, RecordingCategory::Normal);
                              return Close(window);
                          },
                      }));

    EXPECT_THAT(eventChecked, ElementsAre(0, eventRows, 0, eventRows, 0, 0, eventRows, eventRows));
    EXPECT_EQ(normalChecked, static_cast<int>(rows[1].size())) << "each list has its own flag";
}

}  // namespace
}  // namespace kro::testing
