// The summary line above a category list: count, total size and, for the
// video categories, total playing time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kro {

// The line for category code 0..3 (Event, Normal, Park, Photo); nothing for
// any other code. Video lines read "file: %04d, size: %0.2fG, time %02d:%02d"
// (G, M or K by magnitude) or "file: %04d, size: %dB, %02d:%02d" up to
// 1,024 bytes; the Photo line has no time and no kilobyte range.
std::optional<std::string> FormatCategorySummary(int code, std::int32_t count, std::uint64_t bytes,
                                                 std::int32_t seconds);

}  // namespace kro
