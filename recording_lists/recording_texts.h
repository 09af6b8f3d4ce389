// Texts of one list row and the summary lines' placeholder texts.
#pragma once

#include <cstdint>
#include <string>

namespace kro {

// Column 2 of a row: "%dM" above 1 MiB, "%dK" above 1 KiB, else "%dB";
// the larger units truncate (1,048,576 bytes read 1024K, 1,025 read 1K).
std::string FormatSizeText(std::uint32_t bytes);

// Column 3 of a video row: "%02dSec" (7 reads 07Sec, 3600 reads 3600Sec).
std::string FormatDurationText(std::int32_t seconds);

// Summary texts shown before the first load and while no card is present.
// They differ on purpose from the lines of an empty card's load.
inline constexpr const char* kZeroVideoSummaryText = "file: 0000, size: 0.00G, time 00:00";
inline constexpr const char* kZeroPhotoSummaryText = "file: 0000, size: 0.00G";

}  // namespace kro
