#include "recording_lists/pending_rows.h"

#include <iterator>
#include <utility>

#include "ui/app_messages.h"

namespace kro {
namespace {

// Posts the wake-up that the queue had no room for; ends the timer once it
// is in, else tries again at the next tick.
void CALLBACK RetryWakeUp(HWND window, UINT, UINT_PTR timer, DWORD) {
    if (PostMessageW(window, ui::kRowsPendingMessage, 0, 0)) KillTimer(window, timer);
}

}  // namespace

void PendingRows::Append(std::unique_ptr<RowBatch> batch) {
    if (batch) batches_.push_back(std::move(batch));
}

std::vector<CategorySummary> PendingRows::Drain(HWND window, const CategoryLists& lists,
                                                std::chrono::milliseconds slice) {
    std::vector<CategorySummary> summaries;
    const auto end = std::chrono::steady_clock::now() + slice;
    while (!batches_.empty()) {
        RowBatch& batch = *batches_.front();
        if (!InsertBatchRowsFor(batch, lists, end - std::chrono::steady_clock::now())) break;
        summaries.insert(summaries.end(), std::make_move_iterator(batch.summaries.begin()),
                         std::make_move_iterator(batch.summaries.end()));
        batches_.pop_front();
        if (std::chrono::steady_clock::now() >= end) break;
    }
    if (!batches_.empty()) AskForTurn(window);
    return summaries;
}

void PendingRows::AskForTurn(HWND window) {
    if (wakeUpOutstanding_) return;
    if (post_(window, ui::kRowsPendingMessage, 0, 0)) {
        wakeUpOutstanding_ = true;
        return;
    }
    // The queue is full (10,000 posted messages on Windows). Inserting the
    // rest now would hold the window for as long as they take, so a timer
    // posts the wake-up instead, as soon as the queue has room: a timer's
    // message is made when the queue is read, not posted, so a full queue
    // does not hold it back. Without even a timer (the system out of
    // resources) nothing is outstanding and the next drain asks again: the
    // load's next batch brings one; rows behind its last batch then wait,
    // with their summary lines, until the next load empties the lists.
    wakeUpOutstanding_ = SetTimer(window, ui::kRowsPendingRetryTimer, USER_TIMER_MINIMUM, &RetryWakeUp) != 0;
}

}  // namespace kro
