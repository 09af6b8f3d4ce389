#include "recording_lists/recording_list_loader.h"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>
#include <vector>

#include "recording_lists/category_summary.h"
#include "recording_lists/recording_classification.h"
#include "recording_lists/recording_texts.h"

namespace kro {
namespace {

// What KRO_Get_File_Flag writes. Nothing reads it, but the library may keep
// the addresses, so the storage lives as long as the program.
struct CardFlagStorage {
    char area[kFileFlagAreaSize];
    std::uint8_t flag1;
    std::uint8_t flag2;
    std::uint8_t flag3;
};

CardFlagStorage& CardFlags() {
    static CardFlagStorage storage{};
    return storage;
}

// The four arrays the list calls fill, zero-filled, sized once for the load.
struct LoadBuffers {
    std::vector<RecordingEntry> entries;
    std::vector<std::int32_t> auxiliary;
    std::vector<std::uint32_t> sizes;
    std::vector<std::int32_t> durations;
};

std::optional<LoadBuffers> ObtainBuffers(std::int64_t total) {
    // At least one element each, so the library never receives a null
    // array, even for an empty card.
    const auto length = static_cast<std::size_t>(std::max<std::int64_t>(total, 1));
    try {
        LoadBuffers buffers;
        buffers.entries.resize(length);
        buffers.auxiliary.resize(length);
        buffers.sizes.resize(length);
        buffers.durations.resize(length);
        return buffers;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    } catch (const std::length_error&) {
        return std::nullopt;
    }
}

// The name's bytes up to its NUL, or all 16 when the library left none.
std::string NameOf(const RecordingEntry& entry) {
    const char* end = std::find(entry.name, entry.name + sizeof entry.name, '\0');
    return std::string(entry.name, end);
}

// Sums seconds without overflow: a total beyond the 32-bit range stays at
// its limit.
std::int32_t AddSeconds(std::int32_t total, std::int32_t seconds) {
    const std::int64_t sum = static_cast<std::int64_t>(total) + seconds;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(sum, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

// True when the call just made got no answer because the library's host
// crashed, hung or could not be had: what it gave is no answer of the card's.
bool HostFailed() {
    const CallFailure failure = KroLibrary::LastCallFailure();
    return failure == CallFailure::HostCrashed || failure == CallFailure::HostHung ||
           failure == CallFailure::HostUnavailable;
}

// One attempt. Every library call comes before the first row, so an attempt
// whose host failed has delivered nothing.
LoadOutcome LoadOnce(const KroLibrary& library, RecordingListSink& sink, const std::atomic<bool>& cancel) {
    const auto cancelled = [&cancel] { return cancel.load(std::memory_order_acquire); };

    if (cancelled()) return LoadOutcome::Cancelled;
    CardFlagStorage& flags = CardFlags();
    library.GetFileFlag(flags.area, &flags.flag1, &flags.flag2, &flags.flag3);
    if (HostFailed()) return LoadOutcome::LibraryFailed;

    std::int32_t counts[kCategoryCount] = {};
    std::int64_t total = 0;
    for (RecordingCategory category : kAllCategories) {
        if (cancelled()) return LoadOutcome::Cancelled;
        const std::int32_t count = library.GetFileCount(static_cast<std::uint8_t>(category));
        if (HostFailed()) return LoadOutcome::LibraryFailed;
        // Checked before anything is allocated by it.
        if (count > kMaxRecordingsPerList) return LoadOutcome::NoBuffers;
        counts[CategoryIndex(category)] = std::max(count, 0);
        total += counts[CategoryIndex(category)];
    }
    std::optional<LoadBuffers> buffers = ObtainBuffers(total);
    if (!buffers) return LoadOutcome::NoBuffers;

    // Each call writes behind the entries of the calls before it. A result
    // outside 0..capacity is clamped, so the fill position never leaves the
    // buffers (capacities add up to their length).
    std::int32_t fill = 0;
    for (RecordingCategory category : kAllCategories) {
        if (cancelled()) return LoadOutcome::Cancelled;
        const std::int32_t capacity = counts[CategoryIndex(category)];
        const std::int32_t written = library.GetFileList(
            static_cast<std::uint8_t>(category), capacity, buffers->entries.data() + fill,
            buffers->auxiliary.data() + fill, buffers->sizes.data() + fill, buffers->durations.data() + fill);
        if (HostFailed()) return LoadOutcome::LibraryFailed;
        fill += std::clamp(written, 0, capacity);
    }

    CategoryTotals totals[kCategoryCount] = {};
    RecordingCategory current = RecordingCategory::Event;
    for (std::int32_t i = 0; i < fill; ++i) {
        if (cancelled()) return LoadOutcome::Cancelled;
        const RecordingEntry& entry = buffers->entries[i];
        current = ClassifyEntry(entry.typeLetter, current);
        CategoryTotals& categoryTotals = totals[CategoryIndex(current)];

        RecordingRow row;
        row.category = current;
        row.index = categoryTotals.count;
        row.name = NameOf(entry);
        row.sizeText = FormatSizeText(buffers->sizes[i]);
        if (current != RecordingCategory::Photo) row.durationText = FormatDurationText(buffers->durations[i]);
        row.bytes = buffers->sizes[i];
        row.seconds = buffers->durations[i];

        ++categoryTotals.count;
        categoryTotals.bytes += buffers->sizes[i];
        categoryTotals.seconds = AddSeconds(categoryTotals.seconds, buffers->durations[i]);
        sink.AddRow(std::move(row));
    }

    for (RecordingCategory category : kAllCategories) {
        if (cancelled()) return LoadOutcome::Cancelled;
        const CategoryTotals& categoryTotals = totals[CategoryIndex(category)];
        sink.ShowSummary({category, categoryTotals,
                          *FormatCategorySummary(CategoryIndex(category), categoryTotals.count,
                                                 categoryTotals.bytes, categoryTotals.seconds)});
    }
    return LoadOutcome::Completed;
}

}  // namespace

LoadOutcome LoadRecordingLists(const KroLibrary& library, RecordingListSink& sink,
                               const std::atomic<bool>& cancel) {
    // A host that failed is tried once more: the binding starts a fresh one.
    const LoadOutcome first = LoadOnce(library, sink, cancel);
    if (first != LoadOutcome::LibraryFailed) return first;
    return LoadOnce(library, sink, cancel);
}

}  // namespace kro
