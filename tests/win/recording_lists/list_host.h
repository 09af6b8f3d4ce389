// A window holding the four category lists, fed by a ListLoadThread the way
// the main dialog feeds its lists: each posted batch is taken on the window's
// thread and kept only when it belongs to the current load.
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
    // `post` posts the wake-ups of the rows' queue (PostMessageW, or one
    // that fails as on a full queue).
    explicit ListHost(PendingRows::PostFunction post = &PostMessageW);
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
    // When set, rows go in as the main window puts them in: queued, then
    // drained in slices of this time (ListLoadThread::DrainRows), a turn per
    // batch and per wake-up. Otherwise each batch goes in whole.
    std::optional<std::chrono::milliseconds> slice;
    // Whole batches: what the window applied and dropped, in arrival order.
    std::vector<std::size_t> appliedBatchRows;
    std::vector<std::size_t> appliedBatchSummaries;
    int droppedBatches = 0;
    // Slices: rows each drain put into the lists, the wake-ups served, and
    // those found queued behind the one being served (never more than one
    // should be outstanding).
    std::vector<int> rowsPerTurn;
    int wakeUps = 0;
    int queuedWakeUpsBehind = 0;
    // Both: summary lines as they arrived, and the rows in the four lists
    // each time some arrived.
    std::vector<CategorySummary> summaries;
    std::vector<int> rowsAtSummaries;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnRowBatch(WPARAM generation, LPARAM batch);
    void OnRowsPending();
    // One turn of the rows' queue, as the main window takes it.
    void Drain();
    void Show(const std::vector<CategorySummary>& due);
    int RowsInLists() const;
    CategoryLists Lists() const { return {&lists_[0], &lists_[1], &lists_[2], &lists_[3]}; }

    HWND window_ = nullptr;
    ui::ListView lists_[kCategoryCount];
};

}  // namespace kro::testing
