// The three commands, given the parsed options and an open device session.
// Each returns the exit code. list and export, like the twin itself, do not
// start while the window program runs, and once started they finish; watch,
// which runs for hours, gives the window program the card while it runs.
#pragma once

#include "cli/cli_options.h"
#include "cli/cli_system.h"
#include "cli/device_session.h"

namespace kro::cli {

// On standard error when the library cannot be loaded or its instance made.
extern const char kLibraryUnavailableText[];

int RunList(const Options& options, DeviceSession& device, CliEnvironment& environment);
int RunExport(const Options& options, DeviceSession& device, CliEnvironment& environment);
int RunWatch(const Options& options, DeviceSession& device, CliEnvironment& environment);

}  // namespace kro::cli
