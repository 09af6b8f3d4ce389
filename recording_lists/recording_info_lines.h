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

// How long the details popup waits for its turn at the library. The
// poller's and the list calls are over in milliseconds, so the turn comes at
// once unless a conversion or a big card's listing holds the library; and
// 200 ms is about the longest pause between a click and its answer that
// still feels immediate, so the window never seems to hang behind a long
// call.
inline constexpr std::chrono::milliseconds kRecordingInfoWait{200};
// How long it then waits for the library's answer: a slow library that
// answers within it shows its details. A hosted library's details call ends
// at its own deadline (CallDeadlines::details), which this matches.
inline constexpr std::chrono::milliseconds kRecordingInfoAnswerWait{2000};

// Asks the library for the recording's index info on a thread of its own:
// the call waits at most `turnWait` for its turn and the answer is awaited
// `answerWait` more. The record starts zero-filled, so an unbound library
// yields zeros; nothing when the library stayed busy, did not answer in time
// (a late answer is dropped), or its host crashed or hung in the call.
std::optional<RecordingIndexInfo> QueryRecordingInfo(const KroLibrary& library, RecordingCategory category,
                                                     const std::string& name,
                                                     std::chrono::milliseconds turnWait = kRecordingInfoWait,
                                                     std::chrono::milliseconds answerWait = kRecordingInfoAnswerWait);

// The popup's item texts, top to bottom: a rule of 51 underscores; the
// category's header (none for a code outside 0..3); then "Filename : <name>"
// alone for Photo, or for every other code the nine lines Filename, Front
// frame, Rear frame, Front size, Rear size, fps, G-Sen, Front resolution,
// Rear resolution. Fields are read little-endian from the record's bytes.
std::vector<std::string> BuildRecordingInfoLines(int code, std::string_view name,
                                                 const RecordingIndexInfo& info);

}  // namespace kro
