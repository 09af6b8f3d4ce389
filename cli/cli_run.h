// The console twin's whole run behind its seams: the command line, the
// refusal while the window program runs, the device access and the three
// commands. Returns the exit code (cli_options.h); a run whose standard
// output could not all be written ends with kExitFailures and the reason on
// standard error, once. The Win32 entry only builds the environment,
// converts the arguments and sets up the console.
#pragma once

#include <string>
#include <vector>

#include "cli/cli_system.h"

namespace kro::cli {

int RunCli(const std::vector<std::string>& arguments, CliEnvironment& environment);

}  // namespace kro::cli
