// The three commands, given the parsed options and an open device session.
// Each returns the exit code.
#pragma once

#include "cli/cli_options.h"
#include "cli/cli_system.h"
#include "cli/device_session.h"

namespace kro::cli {

int RunList(const Options& options, DeviceSession& device, CliEnvironment& environment);
int RunExport(const Options& options, DeviceSession& device, CliEnvironment& environment);
int RunWatch(const Options& options, DeviceSession& device, CliEnvironment& environment);

}  // namespace kro::cli
