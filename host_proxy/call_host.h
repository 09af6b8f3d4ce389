// The program's side of one call to the device library's host: one request,
// one checked reply.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "host_link/library_channel.h"
#include "host_link/library_protocol.h"

namespace kro {

// Sends the request and returns the host's reply to it; nothing when the
// channel fails or times out or the reply is not a well-formed answer to
// this request, and the caller then ends the host. A request that cannot be
// encoded (a capacity above kMaxListCapacity, a name the host would refuse)
// is nothing too, but is never sent: a caller that must keep the host then
// checks those limits first.
std::optional<Reply> CallHost(LibraryChannel& channel, const Request& request,
                              LibraryChannel::Deadline deadline);
// The same with the request already encoded: `frame` is EncodeRequest's for
// `request`, whose kind (and capacity) the reply must match.
std::optional<Reply> CallHost(LibraryChannel& channel, const Request& request,
                              std::span<const std::uint8_t> frame, LibraryChannel::Deadline deadline);

// The first exchange with a fresh host: says which protocol version this
// program speaks and returns the host's; nothing when the channel fails or
// times out or the answer is no greeting.
std::optional<std::uint32_t> GreetHost(LibraryChannel& channel, LibraryChannel::Deadline deadline);

}  // namespace kro
