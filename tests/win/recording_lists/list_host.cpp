#include "tests/win/recording_lists/list_host.h"

#include <commctrl.h>

#include <chrono>
#include <stdexcept>

#include "ui/app_messages.h"

namespace kro::testing {
namespace {

constexpr wchar_t kClassName[] = L"KroTestListHost";
constexpr int kListWidth = 250;

void RegisterHostClass() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kClassName;
        windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
        return RegisterClassW(&windowClass) != 0;
    }();
    if (!registered) throw std::runtime_error("host class not registered");
}

}  // namespace

ListHost::ListHost(PendingRows::PostFunction post) : loads(post) {
    RegisterHostClass();
    window_ = CreateWindowExW(0, kClassName, L"list host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20,
                              4 * (kListWidth + 20) + 40, 600, nullptr, nullptr, GetModuleHandleW(nullptr),
                              nullptr);
    if (window_ == nullptr) throw std::runtime_error("host window not created");
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ListHost::Proc));

    for (int i = 0; i < kCategoryCount; ++i) {
        HWND list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | WS_BORDER | LVS_REPORT,
                                    20 + i * (kListWidth + 20), 20, kListWidth, 500, window_,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(1001 + i)),
                                    GetModuleHandleW(nullptr), nullptr);
        lists_[i].Attach(list);
        lists_[i].SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
        lists_[i].InsertColumn(0, L" ", 20);
        lists_[i].InsertColumn(1, L"Filename", 126);
        lists_[i].InsertColumn(2, L"Size", 43);
        if (i != CategoryIndex(RecordingCategory::Photo)) lists_[i].InsertColumn(3, L"Min/Sec", 40);
    }
}

ListHost::~ListHost() {
    loads.Stop(window_, std::chrono::seconds(30));
    DestroyWindow(window_);
}

std::vector<std::vector<std::string>> ListHost::Rows(RecordingCategory category) const {
    const ui::ListView& list = List(category);
    const int columns = category == RecordingCategory::Photo ? 3 : 4;
    std::vector<std::vector<std::string>> rows;
    for (int item = 0; item < list.ItemCount(); ++item) {
        std::vector<std::string> cells;
        for (int column = 1; column < columns; ++column) cells.push_back(list.ItemTextA(item, column));
        rows.push_back(cells);
    }
    return rows;
}

int ListHost::CheckedRows() const {
    int checked = 0;
    for (const ui::ListView& list : lists_) {
        for (int item = 0; item < list.ItemCount(); ++item) checked += list.IsChecked(item) ? 1 : 0;
    }
    return checked;
}

bool ListHost::PumpUntil(const std::function<bool()>& done) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        PumpPending();
    }
    return true;
}

void ListHost::PumpPending() const {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

LRESULT CALLBACK ListHost::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ListHost*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && message == ui::kRowBatchMessage) {
        self->OnRowBatch(wParam, lParam);
        return 0;
    }
    if (self != nullptr && message == ui::kRowsPendingMessage) {
        self->OnRowsPending();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void ListHost::OnRowBatch(WPARAM generation, LPARAM batch) {
    if (slice) {
        loads.Queue(generation, batch);
        Drain();
        return;
    }
    const std::unique_ptr<RowBatch> rows = loads.Receive(generation, batch);
    if (!rows) {
        ++droppedBatches;
        return;
    }
    InsertBatchRows(*rows, Lists());
    appliedBatchRows.push_back(rows->rows.size());
    appliedBatchSummaries.push_back(rows->summaries.size());
    Show(rows->summaries);
}

void ListHost::OnRowsPending() {
    ++wakeUps;
    MSG message;
    if (PeekMessageW(&message, window_, ui::kRowsPendingMessage, ui::kRowsPendingMessage, PM_NOREMOVE)) {
        ++queuedWakeUpsBehind;
    }
    loads.WakeUpArrived();
    if (slice) Drain();
}

void ListHost::Drain() {
    const int before = RowsInLists();
    const std::vector<CategorySummary> due = loads.DrainRows(window_, Lists(), *slice);
    rowsPerTurn.push_back(RowsInLists() - before);
    Show(due);
}

void ListHost::Show(const std::vector<CategorySummary>& due) {
    if (due.empty()) return;
    summaries.insert(summaries.end(), due.begin(), due.end());
    rowsAtSummaries.push_back(RowsInLists());
}

int ListHost::RowsInLists() const {
    int rows = 0;
    for (const ui::ListView& list : lists_) rows += list.ItemCount();
    return rows;
}

}  // namespace kro::testing
