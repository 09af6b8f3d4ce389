// LoadRecordingLists: reads every recording of the card from the device
// library, sorts each into the list of its category by its type letter and
// hands the rows and the four summary lines to a sink. Portable; the Win32
// side runs it on a loading thread and turns the sink's calls into list rows
// and static texts on the UI thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "device/kro_library.h"
#include "recording_lists/recording_types.h"

namespace kro {

// One row of a category list.
struct RecordingRow {
    RecordingCategory category = RecordingCategory::Event;
    std::int32_t index = 0;                   // row index in its list, counted per list from 0
    std::string name;                         // column 1: the name's bytes as the library gave them
    std::string sizeText;                     // column 2
    std::optional<std::string> durationText;  // column 3; none for Photo
    std::uint32_t bytes = 0;                  // the size and duration the texts were made from
    std::int32_t seconds = 0;
};

// One summary line with the totals it was made from.
struct CategorySummary {
    RecordingCategory category = RecordingCategory::Event;
    CategoryTotals totals;
    std::string text;
};

// Receives a load's results on the loading thread, in order: the rows one at
// a time in library order, then, if the load completes, the four summaries
// Event, Normal, Park, Photo. A sink may batch rows (for example into a heap
// vector posted to the UI thread with the load's generation); the load's
// return is the point to hand over the last batch.
class RecordingListSink {
public:
    virtual ~RecordingListSink() = default;
    virtual void AddRow(RecordingRow row) = 0;
    virtual void ShowSummary(CategorySummary summary) = 0;
};

enum class LoadOutcome {
    Completed,  // every row and the four summaries were delivered
    Cancelled,  // the cancel flag was seen; nothing more was delivered
    NoBuffers,  // a count above kMaxRecordingsPerList, or buffers not obtained: no rows, no summaries
    // The library's host crashed or hung, on a first try and on a second
    // with a fresh host: no rows, no summaries; the card could not be read.
    LibraryFailed,
};

// Runs one load. `cancel` is read before every library call and every row;
// once it is set, the load returns Cancelled without another sink call. A
// load whose library host fails is tried once more from the start.
LoadOutcome LoadRecordingLists(const KroLibrary& library, RecordingListSink& sink,
                               const std::atomic<bool>& cancel);

}  // namespace kro
