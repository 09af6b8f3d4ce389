#include "recording_lists/list_load_thread.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "device/thread_end_guard.h"
#include "ui/app_messages.h"

namespace kro {
namespace {

constexpr std::chrono::milliseconds kDestructorWait{2000};
constexpr std::chrono::milliseconds kWaitCheck{10};
constexpr DWORD kFullQueueRetryMs = 10;

// Collects the load's rows and summaries into heap batches and posts each
// to the window, which then owns it. Runs on the loading thread.
class PostingSink final : public RecordingListSink {
public:
    PostingSink(HWND window, WPARAM generation, const std::atomic<bool>& cancel)
        : window_(window), generation_(generation), cancel_(cancel) {}

    void AddRow(RecordingRow row) override {
        pending_->rows.push_back(std::move(row));
        if (pending_->rows.size() >= batchRows_) {
            Post();
            batchRows_ = std::min(batchRows_ * 2, kLargestRowBatchRows);
        }
    }
    void ShowSummary(CategorySummary summary) override { pending_->summaries.push_back(std::move(summary)); }

    // Hands what was collected to the window; an abandoned load's batch is
    // dropped here already.
    void Post() {
        std::unique_ptr<RowBatch> batch = std::exchange(pending_, std::make_unique<RowBatch>());
        while (!cancel_.load(std::memory_order_acquire)) {
            if (PostMessageW(window_, ui::kRowBatchMessage, generation_,
                             reinterpret_cast<LPARAM>(batch.get()))) {
                batch.release();
                return;
            }
            // A full queue drains as the window's thread runs; a window that
            // is gone takes nothing more.
            if (GetLastError() != ERROR_NOT_ENOUGH_QUOTA || !IsWindow(window_)) return;
            Sleep(kFullQueueRetryMs);
        }
    }

private:
    HWND window_;
    WPARAM generation_;
    const std::atomic<bool>& cancel_;
    std::unique_ptr<RowBatch> pending_ = std::make_unique<RowBatch>();
    std::size_t batchRows_ = kFirstRowBatchRows;
};

}  // namespace

ListLoadThread::~ListLoadThread() {
    Stop(nullptr, kDestructorWait);
}

bool ListLoadThread::Start(const KroLibrary& library, HWND window) {
    Abandon();
    JoinEnded();
    try {
        auto state = std::make_shared<LoadState>();
        loads_.reserve(loads_.size() + 1);  // so that nothing can throw once the thread runs
        const WPARAM generation = generation_;
        // The thread counts as the library's user until it ends, so that a
        // close that has ended the host under a load waits for it to leave.
        std::thread thread([&library, use = KroLibrary::Use(library), window, generation, state] {
            // Stop and Busy wait for this mark: it is raised on every way out.
            const ThreadEndGuard markEnded([&state] { state->ended.store(true, std::memory_order_release); });
            try {
                PostingSink sink(window, generation, state->cancel);
                const LoadOutcome outcome = LoadRecordingLists(library, sink, state->cancel);
                if (outcome == LoadOutcome::Completed) sink.Post();
                if (outcome == LoadOutcome::LibraryFailed)
                    PostMessageW(window, ui::kCardUnreadableMessage, generation, 0);
            } catch (...) {
                // Out of memory for a batch, or anything else: the load ends
                // with what it posted.
            }
        });
        loads_.push_back({std::move(state), std::move(thread)});
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void ListLoadThread::Abandon() {
    ++generation_;
    pending_.Clear();
    for (const Load& load : loads_) load.state->cancel.store(true, std::memory_order_release);
}

std::unique_ptr<RowBatch> ListLoadThread::Receive(WPARAM generation, LPARAM batch) const {
    std::unique_ptr<RowBatch> owned(reinterpret_cast<RowBatch*>(batch));
    if (generation != generation_) return nullptr;
    return owned;
}

void ListLoadThread::Queue(WPARAM generation, LPARAM batch) {
    pending_.Append(Receive(generation, batch));
}

bool ListLoadThread::Stop(HWND window, std::chrono::milliseconds timeout) {
    Abandon();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (Busy() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(kWaitCheck);
    JoinEnded();
    const bool allEnded = loads_.empty();
    // A thread still inside the library ends on its own when the call
    // returns: it holds its own state and, cancelled, posts nothing more.
    for (Load& load : loads_) load.thread.detach();
    loads_.clear();

    // Batches posted before the cancel was seen would otherwise go down with
    // the window's queue, unfreed.
    if (window != nullptr) {
        MSG message;
        while (PeekMessageW(&message, window, ui::kRowBatchMessage, ui::kRowBatchMessage, PM_REMOVE)) {
            delete reinterpret_cast<RowBatch*>(message.lParam);
        }
    }
    return allEnded;
}

bool ListLoadThread::Busy() const {
    for (const Load& load : loads_) {
        if (!load.state->ended.load(std::memory_order_acquire)) return true;
    }
    return false;
}

void ListLoadThread::JoinEnded() {
    for (auto it = loads_.begin(); it != loads_.end();) {
        if (it->state->ended.load(std::memory_order_acquire)) {
            it->thread.join();
            it = loads_.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace kro
