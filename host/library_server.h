// The device library's host: its request loop.
//
// ServeLibrary is the host's request loop. It first answers the program's
// greeting with its protocol version (and serves nothing to a program of
// another version); then it reads one request frame at a time, serves it through the in-process binding
// (KroLibrary over the given module loader) and answers it. Every library call, KRO_Create and KRO_Delete
// included, is made on the thread that runs the loop. The loop ends when the channel closes, after a Close
// request has been answered, or at the first request that does not decode, which is not answered: a host
// never guesses what was meant. Whatever ends it, the instance is deleted
// and the library unloaded before ServeLibrary returns.
#pragma once

#include <optional>

#include "device/module_loader.h"
#include "host_link/library_channel.h"
#include "host_link/library_protocol.h"

namespace kro {

enum class ServeEnd {
    ChannelClosed,     // the program is gone, or a reply could not be sent
    CloseServed,       // a Close request was answered
    MalformedRequest,  // a frame or request that does not decode
    OutOfMemory,       // a request's buffers or its reply could not be had
    OtherProtocol,     // the program speaks another protocol version
};

ServeEnd ServeLibrary(LibraryChannel& channel, ModuleLoader& loader);

// The host program's exit code for the way its loop ended: 0 when the
// program went or closed it, 3 after a malformed request, 4 out of memory,
// 6 for a program of another protocol version.
// (A host that crashes ends with the exception's code instead; 2 is its
// own for a command line without its channel.)
int HostExitCode(ServeEnd end);

}  // namespace kro
