#include <windows.h>

#include <algorithm>

#include "host_link/library_channel.h"
#include "host_link/library_protocol.h"
#include "win32/owned_handle.h"

namespace kro {
namespace {

using Status = LibraryChannel::Status;

// Bytes asked of one ReadFile or WriteFile: a frame may be longer than a
// DWORD can say on a 32-bit build's terms, and shorter calls complete often
// enough to look at the deadline and the peer between them.
constexpr DWORD kMostBytesPerCall = 1u << 20;

// Overlapped I/O on one end of a byte-mode pipe. Each transfer waits for its
// completion, for Abort, for the peer process's end (when the channel was
// given its handle) and for the deadline, whichever comes first; a transfer given up
// is cancelled and waited for, so that the kernel never writes into an
// OVERLAPPED or a buffer that has gone.
class PipeChannel final : public StreamChannel {
public:
    PipeChannel(HANDLE pipe, HANDLE peer)
        : pipe_(pipe),
          peer_(peer),
          done_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          aborted_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        if (!done_ || !aborted_) MarkBroken();
    }

private:
    // Manual-reset and never reset: every later wait sees it too.
    void Interrupt() override { SetEvent(aborted_.Get()); }

    Status Send(std::span<const std::uint8_t> bytes, Deadline deadline) override {
        return Transfer(const_cast<std::uint8_t*>(bytes.data()), bytes.size(), true, deadline);
    }
    Status Receive(std::span<std::uint8_t> bytes, Deadline deadline) override {
        return Transfer(bytes.data(), bytes.size(), false, deadline);
    }

    Status Transfer(std::uint8_t* bytes, std::size_t size, bool write, Deadline deadline) {
        std::size_t done = 0;
        while (done < size) {
            const DWORD ask = static_cast<DWORD>(std::min<std::size_t>(size - done, kMostBytesPerCall));
            OVERLAPPED overlapped{};
            overlapped.hEvent = done_.Get();
            ResetEvent(done_.Get());
            const BOOL started = write ? WriteFile(pipe_.Get(), bytes + done, ask, nullptr, &overlapped)
                                       : ReadFile(pipe_.Get(), bytes + done, ask, nullptr, &overlapped);
            if (!started && GetLastError() != ERROR_IO_PENDING) return Status::Closed;
            const Status waited = Wait(deadline);
            if (waited != Status::Ok) CancelIoEx(pipe_.Get(), &overlapped);
            // Waits for the completion, cancelled or not: the OVERLAPPED
            // lives on this stack.
            DWORD moved = 0;
            const BOOL completed = GetOverlappedResult(pipe_.Get(), &overlapped, &moved, TRUE);
            done += moved;
            if (waited != Status::Ok) return waited;
            // A broken pipe, or a read of nothing: the other end has gone.
            if (!completed || moved == 0) return Status::Closed;
        }
        return Status::Ok;
    }

    // Ok once the transfer has completed; Closed when the channel was
    // aborted or the peer process ended first; TimedOut when the deadline
    // passed. A peer asked to end may take a while to be gone (a thread of
    // it in an uninterruptible wait): the abort does not wait for that.
    Status Wait(Deadline deadline) {
        const HANDLE handles[3] = {done_.Get(), aborted_.Get(), peer_};
        const DWORD count = peer_ != nullptr ? 3 : 2;
        for (;;) {
            DWORD timeout = INFINITE;
            if (deadline != kNoDeadline) {
                const auto now = std::chrono::steady_clock::now();
                if (now >= deadline) return Status::TimedOut;
                // Rounded up, so that the wait never ends before the
                // deadline; a far one is waited for in slices.
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
                timeout = static_cast<DWORD>(std::min<std::chrono::milliseconds::rep>(left, INFINITE - 1));
            }
            const DWORD woken = WaitForMultipleObjects(count, handles, FALSE, timeout);
            if (woken == WAIT_OBJECT_0) return Status::Ok;
            if (woken != WAIT_TIMEOUT) return Status::Closed;
        }
    }

    win32::FileHandle pipe_;
    HANDLE peer_;  // not owned; null when the other end's process is not watched
    win32::KernelHandle done_;
    win32::KernelHandle aborted_;
};

}  // namespace

std::unique_ptr<LibraryChannel> MakePipeChannel(void* pipe, void* peerProcess) {
    return std::make_unique<PipeChannel>(static_cast<HANDLE>(pipe), static_cast<HANDLE>(peerProcess));
}

}  // namespace kro
