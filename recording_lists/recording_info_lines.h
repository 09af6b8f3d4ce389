// The lines of a recording's info popup, and the library query behind them.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/kro_library.h"
#include "recording_lists/recording_types.h"

namespace kro {

// How long the details popup waits for the library. The poller's and the
// list calls are over in milliseconds, so the popup shows at once unless a
// conversion or a big card's listing holds the library; and 200 ms is about
// the longest pause between a click and its answer that still feels
// immediate, so the window never seems to hang behind a long call.
inline constexpr std::chrono::milliseconds kRecordingInfoWait{200};

// Asks the library for the recording's index info on a thread of its own
// and waits at most `wait` for the answer. The record starts zero-filled, so
// a failing or unbound library yields zeros; nothing when the library stayed
// busy or did not answer in time (a late answer is dropped).
std::optional<RecordingIndexInfo> QueryRecordingInfo(const KroLibrary& library, RecordingCategory category,
                                                     const std::string& name,
                                                     std::chrono::milliseconds wait = kRecordingInfoWait);

// The popup's item texts, top to bottom: a rule of 51 underscores; the
// category's header (none for a code outside 0..3); then "Filename : <name>"
// alone for Photo, or for every other code the nine lines Filename, Front
// frame, Rear frame, Front size, Rear size, fps, G-Sen, Front resolution,
// Rear resolution. Fields are read little-endian from the record's bytes.
std::vector<std::string> BuildRecordingInfoLines(int code, std::string_view name,
                                                 const RecordingIndexInfo& info);

}  // namespace kro
