#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <new>

#include "device/library_channel.h"
#include "device/library_protocol.h"

namespace kro {
namespace {

using Status = LibraryChannel::Status;

// The socket is non-blocking so that no send or receive outlasts the
// deadline; poll() waits for it to be ready instead.
class SocketChannel final : public LibraryChannel {
public:
    explicit SocketChannel(int socket) : socket_(socket) {
        const int flags = fcntl(socket_, F_GETFL);
        if (flags == -1 || fcntl(socket_, F_SETFL, flags | O_NONBLOCK) == -1) broken_ = true;
    }
    ~SocketChannel() override { close(socket_); }
    SocketChannel(const SocketChannel&) = delete;
    SocketChannel& operator=(const SocketChannel&) = delete;

    Status WriteFrame(std::span<const std::uint8_t> frame, Deadline deadline) override {
        if (broken_) return Status::Closed;
        if (frame.size() < kFrameLengthBytes) return Status::Refused;
        const auto length = ParseFrameLength(frame.first<kFrameLengthBytes>());
        if (!length || *length != frame.size() - kFrameLengthBytes) return Status::Refused;
        return Settle(Send(frame, deadline));
    }

    Received ReadFrame(Deadline deadline) override {
        if (broken_) return {Status::Closed, {}};
        std::uint8_t prefix[kFrameLengthBytes] = {};
        const Progress head = Receive(prefix, deadline);
        if (head.status != Status::Ok) return {Settle(head), {}};
        const auto length = ParseFrameLength(std::span<const std::uint8_t, kFrameLengthBytes>(prefix));
        // From here on a failure leaves part of the frame unread.
        broken_ = true;
        if (!length) return {Status::Refused, {}};
        Received received;
        try {
            received.payload.resize(*length);
        } catch (const std::bad_alloc&) {
            return {Status::Refused, {}};
        }
        received.status = Receive(received.payload, deadline).status;
        if (received.status != Status::Ok) return {received.status, {}};
        broken_ = false;
        return received;
    }

private:
    struct Progress {
        Status status;
        std::size_t done;
    };

    // A transfer that stopped part way through has cost the framing.
    Status Settle(const Progress& progress) {
        if (progress.status == Status::Closed || (progress.status != Status::Ok && progress.done > 0)) {
            broken_ = true;
        }
        return progress.status;
    }

    Progress Send(std::span<const std::uint8_t> bytes, Deadline deadline) {
        return Pump(bytes.size(), POLLOUT, deadline, [&](std::size_t done) {
            return send(socket_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        });
    }

    Progress Receive(std::span<std::uint8_t> bytes, Deadline deadline) {
        return Pump(bytes.size(), POLLIN, deadline, [&](std::size_t done) {
            return recv(socket_, bytes.data() + done, bytes.size() - done, 0);
        });
    }

    // Moves all `size` bytes, however many calls of step (one send or recv
    // from the given offset) it takes.
    template <typename Step>
    Progress Pump(std::size_t size, short events, Deadline deadline, Step step) {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t moved = step(done);
            if (moved > 0) {
                done += static_cast<std::size_t>(moved);
                continue;
            }
            if (moved == 0) return {Status::Closed, done};  // the other end has shut down
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return {Status::Closed, done};
            const Status ready = WaitReady(events, deadline);
            if (ready != Status::Ok) return {ready, done};
        }
        return {Status::Ok, done};
    }

    // Ok when the socket is ready, hung up or failed (the next call tells
    // which); TimedOut once the deadline has passed.
    Status WaitReady(short events, Deadline deadline) {
        for (;;) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) return Status::TimedOut;
            // Rounded up, so that poll never returns before the deadline;
            // a far deadline is waited for in slices of poll's longest wait.
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
            const int timeout = static_cast<int>(std::min<std::chrono::milliseconds::rep>(left, INT_MAX));
            pollfd entry{socket_, events, 0};
            const int ready = poll(&entry, 1, timeout);
            if (ready > 0) return Status::Ok;
            if (ready < 0 && errno != EINTR) return Status::Closed;
        }
    }

    int socket_;
    bool broken_ = false;
};

}  // namespace

std::unique_ptr<LibraryChannel> MakeSocketChannel(int socket) {
    return std::make_unique<SocketChannel>(socket);
}

}  // namespace kro
