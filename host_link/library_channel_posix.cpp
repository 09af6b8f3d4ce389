#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>

#include "host_link/library_channel.h"
#include "host_link/library_protocol.h"

namespace kro {
namespace {

using Status = LibraryChannel::Status;

// The socket is non-blocking so that no send or receive outlasts the
// deadline; poll() waits for it to be ready instead.
class SocketChannel final : public StreamChannel {
public:
    explicit SocketChannel(int socket) : socket_(socket) {
        const int flags = fcntl(socket_, F_GETFL);
        if (flags == -1 || fcntl(socket_, F_SETFL, flags | O_NONBLOCK) == -1) MarkBroken();
    }
    ~SocketChannel() override { close(socket_); }
    SocketChannel(const SocketChannel&) = delete;
    SocketChannel& operator=(const SocketChannel&) = delete;

private:
    // Both directions shut down: a poll waiting now wakes, a receive reads
    // the end of the stream and a send fails, whatever the other side does.
    void Interrupt() override { shutdown(socket_, SHUT_RDWR); }

    Status Send(std::span<const std::uint8_t> bytes, Deadline deadline) override {
        return Pump(bytes.size(), POLLOUT, deadline, [&](std::size_t done) {
            return send(socket_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        });
    }

    Status Receive(std::span<std::uint8_t> bytes, Deadline deadline) override {
        return Pump(bytes.size(), POLLIN, deadline, [&](std::size_t done) {
            return recv(socket_, bytes.data() + done, bytes.size() - done, 0);
        });
    }

    // Moves all `size` bytes, however many calls of step (one send or recv
    // from the given offset) it takes.
    template <typename Step>
    Status Pump(std::size_t size, short events, Deadline deadline, Step step) {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t moved = step(done);
            if (moved > 0) {
                done += static_cast<std::size_t>(moved);
                continue;
            }
            if (moved == 0) return Status::Closed;  // the other end has shut down
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) return Status::Closed;
            const Status ready = WaitReady(events, deadline);
            if (ready != Status::Ok) return ready;
        }
        return Status::Ok;
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
};

}  // namespace

std::unique_ptr<LibraryChannel> MakeSocketChannel(int socket) {
    return std::make_unique<SocketChannel>(socket);
}

}  // namespace kro
