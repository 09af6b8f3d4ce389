// The rows of the current list load that wait, on the window's side, to go
// into the lists. Batches are appended as they arrive; each drain inserts
// rows for about one time slice and, while rows are left, asks the window
// for another turn (kRowsPendingMessage), so the window serves its other
// messages between two slices. Rows go in in the order they arrived.
//
// For the window's thread only.
#pragma once

#include <windows.h>

#include <chrono>
#include <deque>
#include <memory>
#include <vector>

#include "recording_lists/row_batch.h"

namespace kro {

class PendingRows {
public:
    // How the wake-up is posted: PostMessageW, or a stand-in in tests.
    using PostFunction = BOOL(WINAPI*)(HWND, UINT, WPARAM, LPARAM);

    explicit PendingRows(PostFunction post = &PostMessageW) : post_(post) {}
    PendingRows(const PendingRows&) = delete;
    PendingRows& operator=(const PendingRows&) = delete;

    // Queues the batch behind the rows waiting.
    void Append(std::unique_ptr<RowBatch> batch);
    // Drops every row waiting (their load was abandoned).
    void Clear() { batches_.clear(); }
    bool Empty() const { return batches_.empty(); }

    // The wake-up has arrived: the next drain that leaves rows posts again.
    void WakeUpArrived() { wakeUpOutstanding_ = false; }

    // Inserts waiting rows into `lists` until they are all in or about
    // `slice` has passed (at least a few rows, however short the slice).
    // Returns the summary lines of the batches now fully in: a load's lines
    // come with its last batch, so they are due once its every row is in.
    // When rows are left, posts kRowsPendingMessage to `window`, unless one
    // is outstanding.
    std::vector<CategorySummary> Drain(HWND window, const CategoryLists& lists,
                                       std::chrono::milliseconds slice);

private:
    void AskForTurn(HWND window);

    PostFunction post_;
    std::deque<std::unique_ptr<RowBatch>> batches_;
    bool wakeUpOutstanding_ = false;
};

}  // namespace kro
