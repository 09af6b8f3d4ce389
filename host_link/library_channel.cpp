#include "host_link/library_channel.h"

#include <new>

#include "host_link/library_protocol.h"

namespace kro {

LibraryChannel::Status StreamChannel::WriteFrame(std::span<const std::uint8_t> frame, Deadline deadline) {
    if (broken_) return Status::Closed;
    if (frame.size() < kFrameLengthBytes) return Status::Refused;
    const auto length = ParseFrameLength(frame.first<kFrameLengthBytes>());
    if (!length || *length != frame.size() - kFrameLengthBytes) return Status::Refused;
    return Settle(Send(frame, deadline));
}

LibraryChannel::Received StreamChannel::ReadFrame(Deadline deadline) {
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

// A transfer that stopped part way through has cost the framing.
LibraryChannel::Status StreamChannel::Settle(const Progress& progress) {
    if (progress.status == Status::Closed || (progress.status != Status::Ok && progress.done > 0)) {
        broken_ = true;
    }
    return progress.status;
}

}  // namespace kro
