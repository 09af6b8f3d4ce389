// The recording info popup: the detail lines of one recording as a popup
// menu at the mouse cursor. Informational only: every item has command ID 0,
// which no window handles.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "device/kro_library.h"
#include "recording_lists/recording_types.h"
#include "win32/owned_handle.h"

namespace kro {

// A popup menu with one plain enabled text item per line. A "&" in a line
// is doubled, so that a name shows exactly as listed instead of turning the
// next character into an underlined mnemonic. Empty when no menu could be
// made.
win32::Menu BuildRecordingInfoMenu(const std::vector<std::string>& lines);

// Asks the library about the recording, builds the popup from the answer
// and shows it at the cursor, owned by `owner`; returns when it closes.
// Shows nothing when the library does not answer within kRecordingInfoWait.
void ShowRecordingInfoMenu(HWND owner, const KroLibrary& library, RecordingCategory category,
                           const std::string& name);

}  // namespace kro
