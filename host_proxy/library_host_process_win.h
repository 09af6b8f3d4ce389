// The Win32 start of a library host, for the launcher and its tests.
#pragma once

#include <memory>
#include <string>

#include "host_proxy/library_host_process.h"

namespace kro {

struct StartedHost {
    std::unique_ptr<LibraryHostProcess> process;  // null when it could not be started
    std::wstring pipeName;                        // the pipe the two ends share
};

// The pipe's security, in the system's descriptor language: every right for
// the current user and nobody else, and a mandatory label of this process's
// integrity level that lower levels can neither write nor read through (an
// elevated program's unelevated neighbours of the same user cannot open or
// squat the pipe). Empty when the token cannot say who or at which level.
std::wstring HostPipeSecurity();

// Starts the host program at `path` (a full path) over a fresh pipe: both
// ends are made here, the pipe admits one instance, local clients only and
// with HostPipeSecurity, and the host inherits its end and nothing else. The
// host runs suspended until it is in a job that ends it when this process
// ends (or its last handle to the job closes).
StartedHost StartLibraryHostExe(const std::wstring& path);

}  // namespace kro
