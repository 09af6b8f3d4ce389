// Seam: the process that holds the device library. The program starts it,
// talks to it over a LibraryChannel, and ends it when a call crashed it or
// outlived its deadline. The Win32 side starts KroLibHost64.exe or
// KroLibHost32.exe from the program's folder, in a job that ends it with the
// program, over a pipe only the two processes hold. Portable: no
// <windows.h>.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "host_link/library_channel.h"

namespace kro {

// Which build of the host: it must match the library's.
enum class HostArchitecture { X86, X64 };

class LibraryHostProcess {
public:
    virtual ~LibraryHostProcess() = default;
    // The channel to the host; it answers Closed once the host has ended.
    virtual LibraryChannel& Channel() = 0;
    // Ends the host, whatever it is doing, and returns at once: the channel
    // is aborted (a transfer in progress returns Closed now) and the process
    // is told to end. It may take a while to be gone: a thread of it in an
    // uninterruptible wait (a wedged card reader) holds it until that wait
    // ends. Safe from another thread while a transfer runs.
    virtual void End() = 0;
    // Waits at most `wait` for the host to end by itself; true once it has.
    virtual bool WaitForEnd(std::chrono::milliseconds wait) = 0;
    // The host's exit code once it has ended (an exception code after a
    // crash); nothing while it runs or is still being torn down.
    virtual std::optional<std::uint32_t> ExitCode() = 0;
};

class LibraryHostLauncher {
public:
    virtual ~LibraryHostLauncher() = default;
    // Starts a host of that architecture; null when none could be started
    // (no such host beside the program, or the system refused).
    virtual std::unique_ptr<LibraryHostProcess> Start(HostArchitecture architecture) = 0;
};

// The file name of the host of that architecture, beside the program.
inline const char* HostFileName(HostArchitecture architecture) {
    return architecture == HostArchitecture::X86 ? "KroLibHost32.exe" : "KroLibHost64.exe";
}

// Starts the host program at `path` (a full path in the system's form); null
// when it could not be started. Natively that is the native twin,
// kro_lib_host, over a socket pair.
std::unique_ptr<LibraryHostProcess> StartLibraryHost(const std::string& path);

// Starts the host of the asked architecture from the running program's
// folder (natively: kro_lib_host, whatever the architecture).
LibraryHostLauncher& SystemLibraryHostLauncher();

}  // namespace kro
