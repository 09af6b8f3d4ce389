#include "host_proxy/call_host.h"

#include <new>

namespace kro {

std::optional<Reply> CallHost(LibraryChannel& channel, const Request& request,
                              LibraryChannel::Deadline deadline) {
    try {
        const auto frame = EncodeRequest(request);
        if (!frame) return std::nullopt;
        return CallHost(channel, request, *frame, deadline);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<Reply> CallHost(LibraryChannel& channel, const Request& request,
                              std::span<const std::uint8_t> frame, LibraryChannel::Deadline deadline) {
    try {
        if (channel.WriteFrame(frame, deadline) != LibraryChannel::Status::Ok) return std::nullopt;
        const LibraryChannel::Received received = channel.ReadFrame(deadline, MostReplyBytes(request));
        if (received.status != LibraryChannel::Status::Ok) return std::nullopt;
        return DecodeReply(received.payload, request);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

std::optional<std::uint32_t> GreetHost(LibraryChannel& channel, LibraryChannel::Deadline deadline) {
    try {
        if (channel.WriteFrame(EncodeGreeting(false, kProtocolVersion), deadline) !=
            LibraryChannel::Status::Ok)
            return std::nullopt;
        const LibraryChannel::Received received = channel.ReadFrame(deadline, kGreetingBytes);
        if (received.status != LibraryChannel::Status::Ok) return std::nullopt;
        return DecodeGreeting(received.payload, true);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

}  // namespace kro
