// Seam: whole frames (library_protocol.h) over one bidirectional byte stream
// between the program and the library's host. The POSIX twin runs over a
// connected stream socket; the Win32 one over a named pipe, where "closed"
// also covers the host process having ended.
//
// Every call waits at most until its deadline, and Abort, from any thread,
// ends the wait at once. One rule covers every failure: a call that does
// not answer Ok (the other side gone, a deadline passed, a length refused,
// an abort) ends the channel, which then answers Closed to every later
// call, and its owner ends the other side. Nothing is ever resumed, so
// nothing of a transfer cut short needs to be remembered.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <climits>
#include <memory>
#include <span>
#include <vector>

namespace kro {

class LibraryChannel {
public:
    using Deadline = std::chrono::steady_clock::time_point;
    // For a side that waits as long as the other side lives.
    static constexpr Deadline kNoDeadline = Deadline::max();

    enum class Status {
        Ok,
        Closed,    // the other side is gone (end of stream, an error) or the channel lost its framing
        TimedOut,  // the deadline passed
        Refused,   // a frame length of 0 or above kMaxFrameBytes
    };
    struct Received {
        Status status = Status::Closed;
        std::vector<std::uint8_t> payload;  // the payload when Ok
    };

    virtual ~LibraryChannel() = default;
    // Sends one frame as the Encode functions build it, length first. A
    // frame whose length does not match its size or the limit is Refused
    // before anything is written.
    virtual Status WriteFrame(std::span<const std::uint8_t> frame, Deadline deadline) = 0;
    // Receives one frame's payload of at most `mostBytes` (and never more
    // than kMaxFrameBytes). A length out of range is Refused before the
    // payload is read or allocated.
    virtual Received ReadFrame(Deadline deadline, std::uint32_t mostBytes) = 0;
    // A frame of any length the messages allow.
    Received ReadFrame(Deadline deadline) { return ReadFrame(deadline, UINT32_MAX); }
    // Ends the channel from any thread: a transfer waiting now returns
    // Closed at once, and so does every later call. A stop uses it, so that
    // nobody waits for the other side's process to be gone.
    virtual void Abort() = 0;
};

// The framing over one byte stream, shared by the platforms' channels: they
// move bytes (Send, Receive), this keeps frames whole and the one rule.
class StreamChannel : public LibraryChannel {
public:
    Status WriteFrame(std::span<const std::uint8_t> frame, Deadline deadline) final;
    using LibraryChannel::ReadFrame;
    Received ReadFrame(Deadline deadline, std::uint32_t mostBytes) final;
    void Abort() final;

protected:
    // Move all the bytes, or say why not.
    virtual Status Send(std::span<const std::uint8_t> bytes, Deadline deadline) = 0;
    virtual Status Receive(std::span<std::uint8_t> bytes, Deadline deadline) = 0;
    // For a stream that cannot be used from the start.
    void MarkBroken() { broken_ = true; }
    // Wakes a Send or Receive that waits now, from another thread, for good:
    // it and every later one then answer Closed.
    virtual void Interrupt() = 0;

private:
    // The status, having ended the channel unless it is Ok.
    Status Ended(Status status);

    bool broken_ = false;  // the transferring thread's own
    std::atomic<bool> aborted_{false};
};

#if defined(_WIN32)
// A channel over one end of a byte-mode pipe opened for overlapped I/O,
// which it owns from now on. With the other end's process handle (not
// owned; it must outlive the channel), a transfer also ends, Closed, when
// that process ends. HANDLE values, as void* to keep <windows.h> out.
std::unique_ptr<LibraryChannel> MakePipeChannel(void* pipe, void* peerProcess);
#else
// A channel over a connected stream socket (a socketpair end in tests),
// which it owns from now on and closes when it goes. Writing to a socket
// whose other end has gone is Closed, never a SIGPIPE.
std::unique_ptr<LibraryChannel> MakeSocketChannel(int socket);
#endif

}  // namespace kro
