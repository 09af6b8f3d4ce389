#include "cli/cli_run.h"

#include "cli/cli_commands.h"
#include "cli/cli_options.h"
#include "cli/device_session.h"

namespace kro::cli {
namespace {

int RunCommand(const std::vector<std::string>& arguments, CliEnvironment& environment) {
    const ParseResult parsed = ParseArguments(arguments);
    if (!parsed.options) {
        environment.console.Err(parsed.error + "\n");
        return kExitUsage;
    }
    const Options& options = *parsed.options;
    if (options.command == Command::Help) {
        environment.console.Out(HelpText());
        return kExitOk;
    }
    if (options.command == Command::Version) {
        environment.console.Out(VersionText());
        return kExitOk;
    }
    // The window program holds the card's library for itself; two programs
    // converting from one card at once would compete for it.
    if (environment.system.WindowProgramRunning()) {
        environment.console.Err(
            "KroFileList.exe is running. Close it first: the two programs do not share "
            "the card.\n");
        return kExitWindowRunning;
    }

    DeviceSession device(environment);
    if (!device.Open()) {
        environment.console.Err(kLibraryUnavailableText);
        return kExitNoDevice;
    }
    switch (options.command) {
        case Command::List:
            return RunList(options, device, environment);
        case Command::Export:
            return RunExport(options, device, environment);
        case Command::Watch:
            return RunWatch(options, device, environment);
        default:
            return kExitUsage;
    }
}

// "No space left on device" as the end of a sentence.
std::string AsSentenceEnd(std::string reason) {
    while (!reason.empty() && (reason.back() == '.' || reason.back() == ' ')) reason.pop_back();
    return reason + ".";
}

}  // namespace

int RunCli(const std::vector<std::string>& arguments, CliEnvironment& environment) {
    const int code = RunCommand(arguments, environment);
    // What was asked for includes its output: a command whose output did not
    // all arrive has failed, whatever else it did.
    if (const std::optional<std::string>& failure = environment.console.OutFailure()) {
        environment.console.Err("The output could not be written: " + AsSentenceEnd(*failure) + "\n");
        return kExitFailures;
    }
    return code;
}

}  // namespace kro::cli
