// The export's progress line: which recording of how many, its name, the
// time so far and an estimate of the time left. On a console the line is
// rewritten in place; elsewhere (a file, a pipe) each recording gets a plain
// line of its own.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kro::cli {

// Longest line written on a console, so that it never wraps on an
// 80-column window.
inline constexpr std::size_t kConsoleLineWidth = 79;

// "m:ss", or "h:mm:ss" from an hour on; negative times read 0:00.
std::string FormatDuration(std::chrono::seconds time);

// The time left when `done` of `total` recordings took `elapsed`: the mean
// so far times what remains, rounded up to whole seconds; none before the
// first recording is done.
std::optional<std::chrono::seconds> EstimateRemaining(int done, int total, std::chrono::milliseconds elapsed);

// "[3/12] NAME  0:05 elapsed, about 0:15 left" while recording `current`
// (1-based) is exported; "estimating" in place of the time left while there
// is no estimate. The name is UTF-8.
std::string FormatProgressLine(int current, int total, std::string_view name,
                               std::chrono::milliseconds elapsed,
                               std::optional<std::chrono::seconds> remaining);

// Rewrites the line in place: a carriage return, the line cut to
// kConsoleLineWidth characters (whole UTF-8 characters), and blanks over what
// remains of a longer previous line. `previousWidth` is updated.
std::string ConsoleProgressText(std::string_view line, std::size_t& previousWidth);

}  // namespace kro::cli
