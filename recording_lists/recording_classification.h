// Which list a recording belongs in, by the type letter of its entry.
#pragma once

#include <optional>

#include "recording_lists/recording_types.h"

namespace kro {

// "e"/"E" Event, "I" Normal, "M"/"P" Park, "j"/"J" Photo; case-sensitive, so
// "i", "m" and "p" belong to no category.
std::optional<RecordingCategory> CategoryOfTypeLetter(char letter);

// The category of an entry: its letter's, or for an unknown letter the
// category of the entry before it (Event for the first entry).
RecordingCategory ClassifyEntry(char letter, RecordingCategory current);

}  // namespace kro
