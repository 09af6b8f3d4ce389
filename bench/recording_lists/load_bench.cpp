// List loading under the real list-view control: a card's recordings loaded
// by the program's loading thread (rows posted in batches, inserted on the UI
// thread) until the last summary line is shown, against the floor for this
// control: the same rows, already in memory, inserted on the UI thread with
// redraw off. Runs under Wine (or Windows) with KROLib.dll beside it and the
// card named by the library's own means (the simulator's KROSIM_CARD).
// Prints the best of three runs of each and their ratio.
#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "device/kro_library.h"
#include "recording_lists/list_load_thread.h"
#include "recording_lists/recording_list_loader.h"
#include "recording_lists/row_batch.h"
#include "ui/app_messages.h"
#include "ui/list_view.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Bench {
    kro::KroLibrary library{kro::SystemModuleLoader()};
    kro::ListLoadThread loader;
    std::array<kro::ui::ListView, 4> lists;
    kro::CategoryLists listViews{};
    std::size_t rowsShown = 0;
    bool summaryShown = false;
};
Bench* bench = nullptr;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kro::ui::kRowBatchMessage) {
        if (auto batch = bench->loader.Receive(wParam, lParam)) {
            kro::InsertBatchRows(*batch, bench->listViews);
            bench->rowsShown += batch->rows.size();
            if (!batch->summaries.empty()) bench->summaryShown = true;
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

class CollectingSink final : public kro::RecordingListSink {
public:
    void AddRow(kro::RecordingRow row) override { rows.push_back(std::move(row)); }
    void ShowSummary(kro::CategorySummary) override {}
    std::vector<kro::RecordingRow> rows;
};

void EmptyLists() {
    for (const auto& list : bench->lists) list.DeleteAllItems();
    bench->rowsShown = 0;
    bench->summaryShown = false;
}

void PumpUntil(const bool& done) {
    MSG message;
    while (!done && GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void PumpPending() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

template <typename Run>
double BestMilliseconds(Run run) {
    double best = 1e30;
    for (int i = 0; i < 3; ++i) {
        EmptyLists();
        PumpPending();
        const auto start = Clock::now();
        run();
        best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return best;
}

}  // namespace

int main() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    auto state = std::make_unique<Bench>();
    bench = state.get();
    if (!bench->library.Load("")) {
        std::fprintf(stderr, "load_bench: KROLib.dll could not be loaded\n");
        return 1;
    }

    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KroLoadBench";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, L"KroLoadBench", L"load bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 150,
                                  150, 1110, 635, nullptr, nullptr, windowClass.hInstance, nullptr);
    for (int i = 0; i < 4; ++i) {
        HWND list =
            CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT,
                            20 + i * 270, 50, 250, 500, window, nullptr, windowClass.hInstance, nullptr);
        bench->lists[i] = kro::ui::ListView(list);
        bench->listViews[i] = &bench->lists[i];
        bench->lists[i].SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        bench->lists[i].InsertColumn(0, L" ", 20);
        bench->lists[i].InsertColumn(1, L"Filename", 126);
        bench->lists[i].InsertColumn(2, L"Size", 43);
        if (i < 3) bench->lists[i].InsertColumn(3, L"Min/Sec", 40);
    }
    UpdateWindow(window);

    // The rows the baseline inserts: read once, outside the timing.
    CollectingSink collected;
    std::atomic<bool> never{false};
    kro::LoadRecordingLists(bench->library, collected, never);
    kro::RowBatch allRows;
    allRows.rows = collected.rows;

    const double loadMs = BestMilliseconds([&] {
        bench->loader.Start(bench->library, window);
        PumpUntil(bench->summaryShown);
        UpdateWindow(window);
    });
    const std::size_t rowsLoaded = bench->rowsShown;
    // What the device library's calls alone cost: the same load into a sink
    // that keeps nothing.
    const double libraryMs = BestMilliseconds([&] {
        CollectingSink discard;
        kro::LoadRecordingLists(bench->library, discard, never);
    });
    const double floorMs = BestMilliseconds([&] {
        kro::InsertBatchRows(allRows, bench->listViews);
        UpdateWindow(window);
    });

    bench->loader.Stop(window, std::chrono::seconds(5));
    DestroyWindow(window);
    std::printf("rows                         : %zu (loaded %zu)\n", allRows.rows.size(), rowsLoaded);
    std::printf("load until last summary      : %9.1f ms\n", loadMs);
    std::printf("UI-thread insert, redraw off : %9.1f ms (floor)\n", floorMs);
    std::printf("library calls alone          : %9.1f ms\n", libraryMs);
    std::printf("ratio load/floor             : %9.2f\n", loadMs / floorMs);
    std::printf("ratio (load - library)/floor : %9.2f\n", (loadMs - libraryMs) / floorMs);
    return rowsLoaded == allRows.rows.size() ? 0 : 1;
}
