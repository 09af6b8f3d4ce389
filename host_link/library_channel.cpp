#include "host_link/library_channel.h"

#include <new>

#include "host_link/library_protocol.h"

namespace kro {

LibraryChannel::Status StreamChannel::WriteFrame(std::span<const std::uint8_t> frame, Deadline deadline) {
    if (broken_ || aborted_.load()) return Status::Closed;
    if (frame.size() < kFrameLengthBytes) return Ended(Status::Refused);
    const auto length = ParseFrameLength(frame.first<kFrameLengthBytes>());
    if (!length || *length != frame.size() - kFrameLengthBytes) return Ended(Status::Refused);
    return Ended(Send(frame, deadline));
}

LibraryChannel::Received StreamChannel::ReadFrame(Deadline deadline, std::uint32_t mostBytes) {
    if (broken_ || aborted_.load()) return {Status::Closed, {}};
    std::uint8_t prefix[kFrameLengthBytes] = {};
    if (const Status head = Receive(prefix, deadline); head != Status::Ok) return {Ended(head), {}};
    const auto length = ParseFrameLength(std::span<const std::uint8_t, kFrameLengthBytes>(prefix));
    if (!length || *length > mostBytes) return {Ended(Status::Refused), {}};
    Received received;
    try {
        received.payload.resize(*length);
    } catch (const std::bad_alloc&) {
        return {Ended(Status::Refused), {}};
    }
    received.status = Ended(Receive(received.payload, deadline));
    if (received.status != Status::Ok) received.payload.clear();
    return received;
}

void StreamChannel::Abort() {
    aborted_.store(true);
    Interrupt();
}

LibraryChannel::Status StreamChannel::Ended(Status status) {
    if (status != Status::Ok) broken_ = true;
    return status;
}

}  // namespace kro
