// The list load against a device library whose every answer comes from the
// input: the four counts (any 32-bit value, negative or huge), how many
// entries each list call writes and what it returns (outside 0..capacity
// too), the raw 40-byte entries (names without a terminator, any type
// letter), sizes and durations, and a cancel raised between two calls.
// Checks what the lists rely on: rows only within the buffers' fill, indices
// counted per list, texts per column, four summaries of a completed load
// that add up the rows, nothing after a cancel or a refusal.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>

#include "fake_kro_device.h"
#include "fuzz_check.h"
#include "recording_lists/recording_list_loader.h"

namespace {

using kro::RecordingCategory;

class CollectingSink final : public kro::RecordingListSink {
public:
    void AddRow(kro::RecordingRow row) override {
        FUZZ_CHECK(summaries.empty());
        rows.push_back(std::move(row));
    }
    void ShowSummary(kro::CategorySummary summary) override { summaries.push_back(std::move(summary)); }

    std::vector<kro::RecordingRow> rows;
    std::vector<kro::CategorySummary> summaries;
};

// One library per process: the fake's exports are free functions.
kro::fake::FakeKroDevice& Device() {
    static kro::fake::FakeKroDevice device;
    return device;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    kro::fake::FakeKroDevice& device = Device();
    std::atomic<bool> cancel{false};
    // The load reads the flag before each library call: raise it after the
    // n-th call (0 = never).
    const int cancelAfter = input.ConsumeIntegralInRange(0, 12);
    int calls = 0;
    const auto called = [&] {
        if (++calls == cancelAfter) cancel.store(true);
    };

    // Any count, except that one between 256 and one list's most is folded
    // to at most 256: buffers for a million entries take a while to fill
    // with zeros, and the limit itself has its unit test.
    std::array<std::int32_t, 4> counts{};
    for (auto& count : counts) {
        count = input.ConsumeIntegral<std::int32_t>();
        if (count > 256 && count <= kMaxRecordingsPerList) count %= 257;
    }
    std::int64_t clampedTotal = 0;
    for (std::int32_t count : counts) clampedTotal += std::max(count, 0);
    const bool beyondOneList = std::any_of(counts.begin(), counts.end(),
                                           [](std::int32_t count) { return count > kMaxRecordingsPerList; });

    device.getFileFlag = [&](char* area, std::uint8_t* a, std::uint8_t* b, std::uint8_t* c) {
        called();
        const auto bytes = input.ConsumeBytes<char>(kFileFlagAreaSize);
        if (!bytes.empty()) std::memcpy(area, bytes.data(), bytes.size());
        *a = input.ConsumeIntegral<std::uint8_t>();
        *b = input.ConsumeIntegral<std::uint8_t>();
        *c = input.ConsumeIntegral<std::uint8_t>();
        return input.ConsumeIntegral<std::int32_t>();
    };
    device.getFileCount = [&](std::uint8_t category) {
        called();
        FUZZ_CHECK(category < 4);
        return counts[category];
    };
    // What the list calls left at each buffer position (positions never
    // written hold zeros), and where the next call writes.
    std::map<std::int64_t, std::uint32_t> sizeAt;
    std::int64_t filled = 0;
    device.getFileList = [&](std::uint8_t category, std::int32_t capacity, RecordingEntry* entries,
                             std::int32_t* auxiliary, std::uint32_t* sizes, std::int32_t* durations) {
        called();
        FUZZ_CHECK(category < 4);
        FUZZ_CHECK(capacity == std::max(counts[category], 0));
        FUZZ_CHECK(entries != nullptr && auxiliary != nullptr && sizes != nullptr && durations != nullptr);
        // A library that honours the capacity writes up to that many
        // entries, whatever it returns.
        const std::int32_t written = input.ConsumeIntegralInRange<std::int32_t>(0, std::min(capacity, 64));
        for (std::int32_t i = 0; i < written; ++i) {
            const auto bytes = input.ConsumeBytes<std::uint8_t>(sizeof(RecordingEntry));
            if (!bytes.empty()) std::memcpy(&entries[i], bytes.data(), bytes.size());
            auxiliary[i] = input.ConsumeIntegral<std::int32_t>();
            sizes[i] = input.ConsumeIntegral<std::uint32_t>();
            sizeAt[filled + i] = sizes[i];
            durations[i] = input.ConsumeIntegral<std::int32_t>();
        }
        const std::int32_t result = input.ConsumeBool() ? written : input.ConsumeIntegral<std::int32_t>();
        filled += std::clamp(result, 0, capacity);
        return result;
    };

    CollectingSink sink;
    const kro::LoadOutcome outcome = kro::LoadRecordingLists(device.Library(), sink, cancel);

    if (outcome == kro::LoadOutcome::NoBuffers) {
        FUZZ_CHECK(beyondOneList);
        FUZZ_CHECK(sink.rows.empty() && sink.summaries.empty());
        return 0;
    }
    FUZZ_CHECK(static_cast<std::int64_t>(sink.rows.size()) <= filled);
    FUZZ_CHECK(filled <= clampedTotal);

    std::array<std::int32_t, 4> rowsPerList{};
    for (const kro::RecordingRow& row : sink.rows) {
        const int list = kro::CategoryIndex(row.category);
        FUZZ_CHECK(list >= 0 && list < 4);
        FUZZ_CHECK(row.index == rowsPerList[list]);
        ++rowsPerList[list];
        FUZZ_CHECK(row.name.size() <= 16 && row.name.find('\0') == std::string::npos);
        FUZZ_CHECK(!row.sizeText.empty());
        FUZZ_CHECK(row.durationText.has_value() == (row.category != RecordingCategory::Photo));
    }

    if (outcome == kro::LoadOutcome::Cancelled) {
        FUZZ_CHECK(cancel.load());
        FUZZ_CHECK(sink.summaries.size() < 4);
        return 0;
    }
    // A cancel raised at any call is seen before the next row or summary.
    FUZZ_CHECK(!cancel.load());
    FUZZ_CHECK(static_cast<std::int64_t>(sink.rows.size()) == filled);
    FUZZ_CHECK(sink.summaries.size() == 4);
    std::uint64_t expectedBytes = 0;
    for (const auto& [position, bytes] : sizeAt) {
        if (position < filled) expectedBytes += bytes;
    }
    std::uint64_t summedBytes = 0;
    for (int list = 0; list < 4; ++list) {
        const kro::CategorySummary& summary = sink.summaries[static_cast<std::size_t>(list)];
        FUZZ_CHECK(kro::CategoryIndex(summary.category) == list);
        FUZZ_CHECK(summary.totals.count == rowsPerList[static_cast<std::size_t>(list)]);
        FUZZ_CHECK(summary.text.rfind("file: ", 0) == 0);
        summedBytes += summary.totals.bytes;
    }
    FUZZ_CHECK(summedBytes == expectedBytes);
    return 0;
}
