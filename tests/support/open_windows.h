// What a hanging test still shows, for the watchdog's message.
#pragma once

#include <string>

namespace kro::testing {

// One line per visible top-level window of this process: its class, its
// caption and, for a message box, its text. Empty where there are no
// windows (the POSIX builds).
std::string DescribeOpenWindows();

}  // namespace kro::testing
