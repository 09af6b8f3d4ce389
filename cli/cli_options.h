// The console twin's command line: its three commands, their options and
// what a wrong one is told. Portable; the Win32 entry hands the arguments
// over as ANSI bytes (recording names are compared byte for byte).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "recording_lists/recording_types.h"

namespace kro::cli {

// The program's exit codes.
enum ExitCode : int {
    kExitOk = 0,            // everything asked for was done
    kExitFailures = 1,      // some recordings were not exported (named on stderr), or the
                            // output could not be written
    kExitNoDevice = 2,      // no device library, or no card
    kExitUsage = 3,         // wrong command line
    kExitWindowRunning = 4  // the window program runs; the twin refuses
};

enum class Command { Help, Version, List, Export, Watch };

inline constexpr int kDefaultWaitSeconds = 10;
inline constexpr int kMaxWaitSeconds = 24 * 60 * 60;

struct Options {
    Command command = Command::Help;
    // list: the one list to print (all four when empty); export: exactly
    // one; watch: one or more, each once, in the order given.
    std::vector<RecordingCategory> categories;
    std::vector<std::string> names;         // export: the recordings named, each once
    bool all = false;                       // export --all
    bool onlyNew = false;                   // export/watch --new
    bool json = false;                      // list --json
    int waitSeconds = kDefaultWaitSeconds;  // list/export --wait
};

struct ParseResult {
    std::optional<Options> options;  // none: wrong usage
    std::string error;               // then one line saying what is wrong, and a hint
};

ParseResult ParseArguments(const std::vector<std::string>& arguments);

// "event", "normal", "park", "photo" in any letter case; none otherwise.
std::optional<RecordingCategory> ParseCategory(const std::string& word);
// The lower-case word of a category.
const char* CategoryWord(RecordingCategory category);

// The --help text and the --version line, each ending in a line end.
std::string HelpText();
std::string VersionText();

}  // namespace kro::cli
