// Whether a recording name can name a file directly inside the export
// folder, and nothing else.
#pragma once

#include <string_view>

namespace kro {

// False for an empty name; for path separators ("/", "\\") and a drive or
// stream colon; for control characters and the characters Windows refuses in
// names (< > " | ? *); for a trailing dot or space (which also rules out "."
// and ".."); and for the reserved device names CON, PRN, AUX, NUL, CONIN$,
// CONOUT$, COM0-9 and LPT0-9 (also with superscript digits), in any case,
// alone or followed by an extension.
bool IsPlainFileName(std::string_view name);

}  // namespace kro
