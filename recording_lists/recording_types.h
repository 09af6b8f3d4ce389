// The recording lists' shared types: the four categories, their per-load
// totals, and the library's record of one recording (RecordingEntry, from
// the device interface).
#pragma once

#include <cstdint>

#include "device/kro_api.h"

namespace kro {

// The library's category code, which is also the column index from the left.
enum class RecordingCategory : std::uint8_t {
    Event = 0,
    Normal = 1,
    Park = 2,
    Photo = 3,
};

inline constexpr int kCategoryCount = 4;

inline constexpr RecordingCategory kAllCategories[kCategoryCount] = {
    RecordingCategory::Event, RecordingCategory::Normal, RecordingCategory::Park, RecordingCategory::Photo};

inline constexpr int CategoryIndex(RecordingCategory category) {
    return static_cast<int>(category);
}

// What one load sums up for one category.
struct CategoryTotals {
    std::int32_t count = 0;
    std::uint64_t bytes = 0;
    std::int32_t seconds = 0;

    bool operator==(const CategoryTotals&) const = default;
};

}  // namespace kro
