// One load of the card's four lists for the twin: the window's load
// algorithm with a sink that keeps the rows and summary lines.
#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "cli/cli_system.h"
#include "recording_lists/recording_list_loader.h"

namespace kro::cli {

struct CardContents {
    LoadOutcome outcome = LoadOutcome::Cancelled;
    std::vector<RecordingRow> rows;  // library order, as the lists show them
    std::vector<CategorySummary> summaries;
};

CardContents LoadCard(const KroLibrary& library, const std::atomic<bool>& stop);

// "Card found: disk 3, drive F:\." (the drive when one maps to the disk).
std::string CardFoundLine(std::uint8_t deviceValue, DiskQueries& disks);

// A name as one line of text: control characters shown as "?", the empty
// name as "(no name)". UTF-8 in, UTF-8 out.
std::string DisplayName(const std::string& utf8Name);

}  // namespace kro::cli
