// Baseline programs the driver can become: a minimal dialog (the start-up
// floor) and bare list views filled with the card's rows by plain list-view
// messages (the memory floor).
#include <windows.h>

#include <commctrl.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "device/in_process_library.h"
#include "bench/program/scenarios.h"
#include "device/kro_library.h"
#include "recording_lists/recording_list_loader.h"

namespace kro::bench {
namespace {

// With the design's timers (lParam 1 at WM_INITDIALOG), the dialog also
// wakes as the program must at the least: a window timer every 500 ms and a
// thread every second, doing nothing else (the idle floor).
INT_PTR CALLBACK MinimalDialogProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    if (message == WM_CLOSE) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    if (message == WM_INITDIALOG && lParam == 1) {
        SetTimer(dialog, 1, 500, nullptr);
        CloseHandle(CreateThread(
            nullptr, 0,
            [](void*) -> DWORD {
                for (;;) Sleep(1000);
            },
            nullptr, 0, nullptr));
    }
    return message == WM_INITDIALOG || message == WM_TIMER;
}

// Tells the measuring script the program has reached a state, then waits
// until the script has measured it (it then creates or removes the file).
void ReachState(const char* state, const std::wstring& signal, bool waitForFile) {
    std::printf("%s\n", state);
    std::fflush(stdout);
    for (int i = 0; i < 6000; ++i) {
        const bool exists = GetFileAttributesW(signal.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (exists == waitForFile) return;
        Sleep(10);
    }
}

class CollectingSink final : public RecordingListSink {
public:
    void AddRow(RecordingRow row) override { rows.push_back(std::move(row)); }
    void ShowSummary(CategorySummary) override {}
    std::vector<RecordingRow> rows;
};

void SetText(HWND list, int item, int column, const char* text) {
    LVITEMA cell = {};
    cell.iSubItem = column;
    cell.pszText = const_cast<char*>(text);
    SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&cell));
}

}  // namespace

int RunMinimalDialog(bool designTimers) {
    // A dialog template in memory: no controls, a caption.
    alignas(4) WORD buffer[64] = {};
    auto* header = reinterpret_cast<DLGTEMPLATE*>(buffer);
    header->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_CENTER;
    header->cx = 200;
    header->cy = 100;
    WORD* tail = reinterpret_cast<WORD*>(header + 1);
    *tail++ = 0;  // no menu
    *tail++ = 0;  // the standard dialog class
    for (const wchar_t* c = kBenchDialogCaption; *c; ++c) *tail++ = static_cast<WORD>(*c);
    *tail++ = 0;
    return static_cast<int>(DialogBoxIndirectParamW(GetModuleHandleW(nullptr), header, nullptr,
                                                    MinimalDialogProc, designTimers ? 1 : 0));
}

int RunBareLists(const std::wstring& signal) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    InProcessLibrary library{SystemModuleLoader()};
    if (!library.Load("")) return std::fprintf(stderr, "KROLib.dll could not be loaded\n"), 1;
    HWND window = CreateWindowExW(0, L"STATIC", L"bare lists", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 1110,
                                  635, nullptr, nullptr, nullptr, nullptr);
    HWND lists[kCategoryCount] = {};
    for (int i = 0; i < kCategoryCount; ++i) {
        lists[i] = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT,
                                   20 + i * 270, 50, 250, 500, window, nullptr, nullptr, nullptr);
        SendMessageW(lists[i], LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                     LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        LVCOLUMNW column = {};
        column.mask = LVCF_WIDTH | LVCF_TEXT;
        column.cx = 60;
        column.pszText = const_cast<wchar_t*>(L"c");
        for (int c = 0; c < (i < 3 ? 4 : 3); ++c)
            SendMessageW(lists[i], LVM_INSERTCOLUMNW, static_cast<WPARAM>(c),
                         reinterpret_cast<LPARAM>(&column));
    }
    UpdateWindow(window);
    ReachState("before", signal, true);

    std::size_t rowCount = 0;
    {
        CollectingSink sink;
        std::atomic<bool> never{false};
        LoadRecordingLists(library, sink, never);
        rowCount = sink.rows.size();
        for (HWND list : lists) SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        for (const RecordingRow& row : sink.rows) {
            HWND list = lists[CategoryIndex(row.category)];
            LVITEMA item = {};
            item.mask = LVIF_TEXT;
            item.iItem = row.index;
            item.pszText = const_cast<char*>("");
            const int index =
                static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
            SetText(list, index, 1, row.name.c_str());
            SetText(list, index, 2, row.sizeText.c_str());
            if (row.durationText) SetText(list, index, 3, row.durationText->c_str());
        }
        for (HWND list : lists) {
            SendMessageW(list, WM_SETREDRAW, TRUE, 0);
            InvalidateRect(list, nullptr, TRUE);
        }
    }
    UpdateWindow(window);
    std::printf("rows %zu\n", rowCount);
    ReachState("after", signal, false);
    DestroyWindow(window);
    return 0;
}

}  // namespace kro::bench
