// A window holding the four category lists, fed by a ListLoadThread the way
// the main dialog feeds its lists: each posted batch is taken on the window's
// thread and applied only when it belongs to the current load.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "recording_lists/list_load_thread.h"
#include "recording_lists/row_batch.h"
#include "ui/list_view.h"

namespace kro::testing {

class ListHost {
public:
    ListHost();
    ~ListHost();
    ListHost(const ListHost&) = delete;
    ListHost& operator=(const ListHost&) = delete;

    HWND Window() const { return window_; }
    const ui::ListView& List(RecordingCategory category) const { return lists_[CategoryIndex(category)]; }

    // Each row's texts of columns 1.. (3 for the video lists, 2 for Photo).
    std::vector<std::vector<std::string>> Rows(RecordingCategory category) const;
    // Rows with a ticked check box, in any list.
    int CheckedRows() const;

    // Serves the window's messages until done() holds; false when it still
    // does not after 30 s (a guard against a hanging test, not a timing).
    bool PumpUntil(const std::function<bool()>& done) const;
    // Serves every message already queued.
    void PumpPending() const;

    ListLoadThread loads;
    // When set, batches go in as the main window puts them in: through
    // ListLoadThread::Apply in slices of this time. Otherwise whole.
    std::optional<std::chrono::milliseconds> slice;
    // What the window applied and dropped, in arrival order.
    std::vector<std::size_t> appliedBatchRows;
    std::vector<std::size_t> appliedBatchSummaries;
    std::vector<CategorySummary> summaries;
    int droppedBatches = 0;
    // Rows in the four lists each time summary lines arrived.
    std::vector<int> rowsAtSummaries;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnRowBatch(WPARAM generation, LPARAM batch);

    HWND window_ = nullptr;
    ui::ListView lists_[kCategoryCount];
};

}  // namespace kro::testing
