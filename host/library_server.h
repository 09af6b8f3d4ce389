// The two ends of a call to the device library's host process.
//
// ServeLibrary is the host's request loop: it reads one request frame at a
// time, serves it through the in-process binding (KroLibrary over the given
// module loader) and answers it. Every library call, KRO_Create and
// KRO_Delete included, is made on the thread that runs the loop. The loop
// ends when the channel closes, after a Close request has been answered, or
// at the first request that does not decode, which is not answered: a host
// never guesses what was meant. Whatever ends it, the instance is deleted
// and the library unloaded before ServeLibrary returns.
//
// CallHost is the program's side: one request, one checked reply.
#pragma once

#include <optional>

#include "host_link/library_channel.h"
#include "host_link/library_protocol.h"
#include "device/module_loader.h"

namespace kro {

enum class ServeEnd {
    ChannelClosed,     // the program is gone, or a reply could not be sent
    CloseServed,       // a Close request was answered
    MalformedRequest,  // a frame or request that does not decode
    OutOfMemory,       // a request's buffers or its reply could not be had
};

ServeEnd ServeLibrary(LibraryChannel& channel, ModuleLoader& loader);

// The host program's exit code for the way its loop ended: 0 when the
// program went or closed it, 3 after a malformed request, 4 out of memory.
// (A host that crashes ends with the exception's code instead; 2 is its
// own for a command line without its channel.)
int HostExitCode(ServeEnd end);

// Sends the request and returns the host's reply to it; nothing when the
// channel fails or times out or the reply is not a well-formed answer to
// this request, and the caller then ends the host. A request that cannot be
// encoded (a capacity above kMaxListCapacity, a name the host would refuse)
// is nothing too, but is never sent: a caller that must keep the host then
// checks those limits first.
std::optional<Reply> CallHost(LibraryChannel& channel, const Request& request,
                              LibraryChannel::Deadline deadline);

}  // namespace kro
