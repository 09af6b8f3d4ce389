// The list-loading threads of one window. Each load runs LoadRecordingLists
// on a thread of its own and posts its rows to the window in heap batches
// (kRowBatchMessage, wParam the load's generation, lParam the RowBatch).
//
// The UI thread decides which load is current: starting a load, or
// abandoning the running one, moves the generation on and asks the previous
// load to stop; the window keeps a batch only while its generation is
// current, so rows of an abandoned load never appear. A loading thread only
// posts and never sends, so the UI thread may wait for it without deadlock.
//
// On the window's side the current load's batches queue up (PendingRows)
// and go into the lists a time slice at a turn of the window's message
// loop; abandoning the load empties the queue.
//
// Every member function is for the window's thread only.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <thread>
#include <vector>

#include "device/kro_library.h"
#include "recording_lists/pending_rows.h"
#include "recording_lists/row_batch.h"

namespace kro {

// Rows per posted batch. The first batch is small, so a card's first rows
// appear at once; each later one is twice the one before, up to the largest,
// so a long card is drawn a few times rather than once per small batch.
inline constexpr std::size_t kFirstRowBatchRows = 256;
inline constexpr std::size_t kLargestRowBatchRows = 4096;

// The longest the window's thread inserts rows before it serves its other
// messages again: queued rows go into the lists in slices of about this
// time, so the window keeps answering while a long card loads.
inline constexpr std::chrono::milliseconds kRowInsertSlice{25};

class ListLoadThread {
public:
    // `post` posts the queue's wake-up (PostMessageW; a stand-in in tests).
    explicit ListLoadThread(PendingRows::PostFunction post = &PostMessageW) : pending_(post) {}
    // Abandons any load and waits for the threads (bounded); a thread that
    // has not ended then is left to finish on its own. Owners call Stop
    // first, while the window and the library still exist.
    ~ListLoadThread();
    ListLoadThread(const ListLoadThread&) = delete;
    ListLoadThread& operator=(const ListLoadThread&) = delete;

    // Abandons the running load and starts a new one over `library` (which
    // must outlive the thread) posting to `window`. False when no thread
    // could be started; the lists then stay as they are.
    bool Start(const KroLibrary& library, HWND window);
    // Abandons the running load, if any: none of its batches applies now,
    // and its rows still queued are dropped.
    void Abandon();

    // Takes a posted batch (the message's wParam and lParam). Returns it
    // when it belongs to the current load; frees it and returns null
    // otherwise. For a window that inserts whole batches (tests, benchmark).
    std::unique_ptr<RowBatch> Receive(WPARAM generation, LPARAM batch) const;

    // The window's way in slices. kRowBatchMessage: Queue takes the posted
    // batch as Receive does and queues it behind the rows waiting;
    // kRowsPendingMessage: WakeUpArrived. After either, DrainRows inserts
    // queued rows for about `slice` and returns the summary lines that are
    // due; while rows are left it posts kRowsPendingMessage to `window`
    // (one at a time) for another turn.
    void Queue(WPARAM generation, LPARAM batch);
    void WakeUpArrived() { pending_.WakeUpArrived(); }
    std::vector<CategorySummary> DrainRows(HWND window, const CategoryLists& lists,
                                           std::chrono::milliseconds slice) {
        return pending_.Drain(window, lists, slice);
    }

    // Abandons every load, waits up to `timeout` for the threads, and frees
    // batches still queued for `window`. True when every thread has ended.
    // False when one is still inside a library call: its library must then
    // stay loaded and alive, since the thread returns into it.
    bool Stop(HWND window, std::chrono::milliseconds timeout);

    // True while some loading thread (current or abandoned) has not ended.
    bool Busy() const;
    // True when a kCardUnreadableMessage's generation is the current load's.
    bool IsCurrent(WPARAM generation) const { return generation == generation_; }

private:
    // Shared by the UI thread and one loading thread, so either may be the
    // last to let go of it.
    struct LoadState {
        std::atomic<bool> cancel{false};
        std::atomic<bool> ended{false};
    };
    struct Load {
        std::shared_ptr<LoadState> state;
        std::thread thread;
    };

    // Joins the loads whose threads have ended.
    void JoinEnded();

    WPARAM generation_ = 0;
    std::vector<Load> loads_;
    // The current load's rows that have not gone into the lists yet.
    PendingRows pending_;
};

}  // namespace kro
