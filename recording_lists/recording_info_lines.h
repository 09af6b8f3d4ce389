// The lines of a recording's info popup, and the library query behind them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "device/kro_library.h"
#include "recording_lists/recording_types.h"

namespace kro {

// Asks the library for the recording's index info. The record starts
// zero-filled, so a failing or missing library yields zeros.
RecordingIndexInfo QueryRecordingInfo(const KroLibrary& library, RecordingCategory category,
                                      const std::string& name);

// The popup's item texts, top to bottom: a rule of 51 underscores; the
// category's header (none for a code outside 0..3); then "Filename : <name>"
// alone for Photo, or for every other code the nine lines Filename, Front
// frame, Rear frame, Front size, Rear size, fps, G-Sen, Front resolution,
// Rear resolution. Fields are read little-endian from the record's bytes.
std::vector<std::string> BuildRecordingInfoLines(int code, std::string_view name,
                                                 const RecordingIndexInfo& info);

}  // namespace kro
