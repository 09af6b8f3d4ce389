// Recording names: the name a recording is listed under (which the fault
// switches may spoil), reading a caller's name, and turning any name into a
// file name that stays inside the export folder.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "simulator/card.h"
#include "simulator/faults.h"

namespace kro::sim {

// Longest caller name examined; longer names match no recording.
inline constexpr std::size_t kMaxCallerNameLength = 1024;
// Filler that stretches names to the full 16 bytes of an entry.
inline constexpr char kUnterminatedFiller = '~';

// folder + separator + name (no second separator when the folder ends in one).
std::string JoinPath(const std::string& folder, std::string_view name);

// The caller's NUL-terminated name; a name longer than the limit comes back
// as the empty view with `valid` false.
struct CallerName {
    std::string_view text;
    bool valid = false;
};
CallerName ReadCallerName(const char* name);

// The name listed for the recording at `position` within its category.
// hostile: positions are spread over the categories so each list gets some
// of the hostile names; unterminated: the name is padded to 16 bytes.
std::string PresentedName(const Recording& recording, int category, std::size_t position,
                          const Faults& faults);

// A name that the file systems of Windows and POSIX take as one plain file
// name in a folder: separators, drive colons, wildcard characters and control
// characters become "_", trailing dots and spaces become "_", and a reserved
// device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9) gets a leading "_".
std::string SafeFileName(std::string_view name);

// The hostile names the switch hands out, in order.
std::size_t HostileNameCount();
std::string_view HostileName(std::size_t index);

}  // namespace kro::sim
