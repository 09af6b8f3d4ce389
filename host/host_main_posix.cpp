// kro_lib_host: the library host's native twin, for the tests and benchmarks
// that run natively. The starter hands it one end of a socket pair as
// "--socket N"; it serves the requests on it, every library call on this one
// thread, until the socket closes or a Close request has been answered.
#include <cstdlib>
#include <cstring>

#include "host_link/library_channel.h"
#include "host/library_server.h"
#include "device/module_loader.h"

namespace {

constexpr int kExitBadCommandLine = 2;

int SocketFromArguments(int count, char** arguments) {
    for (int i = 1; i + 1 < count; ++i) {
        if (std::strcmp(arguments[i], "--socket") != 0) continue;
        char* end = nullptr;
        const long value = std::strtol(arguments[i + 1], &end, 10);
        if (end != arguments[i + 1] && *end == '\0' && value >= 0 && value < 65536) return static_cast<int>(value);
    }
    return -1;
}

}  // namespace

int main(int count, char** arguments) {
    const int socket = SocketFromArguments(count, arguments);
    if (socket < 0) return kExitBadCommandLine;
    const auto channel = kro::MakeSocketChannel(socket);
    return kro::HostExitCode(kro::ServeLibrary(*channel, kro::SystemModuleLoader()));
}
