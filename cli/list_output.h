// What `list` prints: the rows and summary lines as the window shows them,
// tab-separated, or the exact bytes and seconds as JSON for scripts.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/card_load.h"

namespace kro::cli {

using NameConverter = std::function<std::string(std::string_view)>;

// One line per row, "LIST<TAB>NAME<TAB>SIZE<TAB>DURATION" (the duration is
// empty for photos), then "summary<TAB>LIST<TAB>TEXT" per list; only the
// lists in `categories` (every list when it is empty).
std::string FormatListText(const CardContents& card, const std::vector<RecordingCategory>& categories,
                           const NameConverter& toUtf8);

// {"disk":N,"recordings":[{"list":..,"name":..,"bytes":..,"seconds":..},..],
//  "summaries":[{"list":..,"count":..,"bytes":..,"seconds":..,"text":..},..]}
// and a line end; photos carry no "seconds".
std::string FormatListJson(const CardContents& card, const std::vector<RecordingCategory>& categories,
                           std::uint8_t disk, const NameConverter& toUtf8);

// A JSON string literal of UTF-8 text (control characters escaped).
std::string JsonString(std::string_view utf8);

}  // namespace kro::cli
