// The names of the program's temporary files. A picture (and the console
// twin's record) is written to a temporary file in the export folder and
// moved over its final name; a process that ends between the two leaves the
// temporary behind. The name says whose it is: the program's own prefix and
// the writing process's ID, longer than any recording name can be (16
// bytes), so that it is never a recording's, and exact, so that the export
// can clear its own stale ones and touch nothing else.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kro {

inline constexpr std::string_view kTemporaryFilePrefix = "~KroFileList-";
inline constexpr std::string_view kTemporaryFileSuffix = ".tmp";

// "~KroFileList-<process>-<counter>.tmp", both numbers in decimal.
std::string TemporaryFileName(std::uint32_t processId, std::uint32_t counter);

// The process ID in a name that TemporaryFileName makes; none for every
// other name (another letter case, a leading zero, anything more or less).
std::optional<std::uint32_t> TemporaryFileProcess(std::string_view name);

// A fresh counter for the calling process's next temporary file.
std::uint32_t NextTemporaryFileCounter();

}  // namespace kro
