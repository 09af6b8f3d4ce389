#include "recording_lists/recording_list_loader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <limits>

#include "fake_kro_device.h"
#include "recording_sink.h"

namespace kro {
namespace {

using fake::FakeKroDevice;
using fake::Recording;
using fake::RecordingSink;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr auto kEvent = RecordingCategory::Event;
constexpr auto kNormal = RecordingCategory::Normal;
constexpr auto kPark = RecordingCategory::Park;
constexpr auto kPhoto = RecordingCategory::Photo;

class LoadTest : public ::testing::Test {
protected:
    LoadOutcome Load() { return LoadRecordingLists(device_.Library(), sink_, cancel_); }

    std::vector<std::string> SummaryTexts() const {
        std::vector<std::string> texts;
        for (const auto& summary : sink_.summaries) texts.push_back(summary.text);
        return texts;
    }

    FakeKroDevice device_;
    RecordingSink sink_;
    std::atomic<bool> cancel_{false};
};

TEST_F(LoadTest, EveryLetterLandsInItsList) {
    device_.SetCard({{{{"e1", 'e'}, {"E2", 'E'}},
                      {{"I1", 'I'}},
                      {{"M1", 'M'}, {"P2", 'P'}},
                      {{"j1", 'j'}, {"J2", 'J'}}}});
    EXPECT_EQ(Load(), LoadOutcome::Completed);
    EXPECT_THAT(sink_.Names(kEvent), ElementsAre("e1", "E2"));
    EXPECT_THAT(sink_.Names(kNormal), ElementsAre("I1"));
    EXPECT_THAT(sink_.Names(kPark), ElementsAre("M1", "P2"));
    EXPECT_THAT(sink_.Names(kPhoto), ElementsAre("j1", "J2"));
}

TEST_F(LoadTest, UnknownLettersFollowTheEntryBeforeThemAndTheFirstGoesToEvent) {
    device_.SetCard({{{{"first", 'p'}, {"I1", 'I'}, {"lower-i", 'i'}, {"x", 'x'}},
                      {},
                      {{"P1", 'P'}, {"lower-m", 'm'}},
                      {{"J1", 'J'}, {"nul", '\0'}}}});
    Load();
    EXPECT_THAT(sink_.Names(kEvent), ElementsAre("first"));
    EXPECT_THAT(sink_.Names(kNormal), ElementsAre("I1", "lower-i", "x"));
    EXPECT_THAT(sink_.Names(kPark), ElementsAre("P1", "lower-m"));
    EXPECT_THAT(sink_.Names(kPhoto), ElementsAre("J1", "nul"));
}

TEST_F(LoadTest, TheLetterDecidesTheListNotTheCallThatReturnedIt) {
    device_.SetCard({{{}, {{"event-in-normal", 'E'}, {"normal", 'I'}}, {}, {}}});
    Load();
    EXPECT_THAT(sink_.Names(kEvent), ElementsAre("event-in-normal"));
    EXPECT_THAT(sink_.Names(kNormal), ElementsAre("normal"));
}

TEST_F(LoadTest, RowsCarryTheirTextsAndPerListIndicesInLibraryOrder) {
    device_.SetCard({{{{"a", 'E', 1024, 7}, {"b", 'I', 1025, 3600}, {"c", 'E', 1048577, 125}},
                      {},
                      {},
                      {{"photo", 'J', 1048576, 9}}}});
    Load();
    ASSERT_EQ(sink_.rows.size(), 4u);
    const auto& a = sink_.rows[0];
    EXPECT_EQ(a.category, kEvent);
    EXPECT_EQ(a.index, 0);
    EXPECT_EQ(a.sizeText, "1024B");
    EXPECT_EQ(a.durationText, "07Sec");
    const auto& b = sink_.rows[1];
    EXPECT_EQ(b.category, kNormal);
    EXPECT_EQ(b.index, 0);
    EXPECT_EQ(b.sizeText, "1K");
    EXPECT_EQ(b.durationText, "3600Sec");
    const auto& c = sink_.rows[2];
    EXPECT_EQ(c.category, kEvent);
    EXPECT_EQ(c.index, 1);
    EXPECT_EQ(c.sizeText, "1M");
    EXPECT_EQ(c.durationText, "125Sec");
    const auto& photo = sink_.rows[3];
    EXPECT_EQ(photo.category, kPhoto);
    EXPECT_EQ(photo.index, 0);
    EXPECT_EQ(photo.sizeText, "1024K");
    EXPECT_FALSE(photo.durationText.has_value());
}

TEST_F(LoadTest, SummariesFollowTheRowsInCategoryOrderWithExactTotals) {
    device_.SetCard({{{{"a", 'E', 0xFFFFFFFFu, 40}, {"b", 'E', 0xFFFFFFFFu, 5}},
                      {},
                      {{"p", 'P', 1000, 30}},
                      {{"photo", 'J', 500000, 20}}}});
    sink_.onRow = [this](const RecordingRow&) { EXPECT_THAT(sink_.summaries, IsEmpty()); };
    Load();
    ASSERT_EQ(sink_.summaries.size(), 4u);
    EXPECT_EQ(sink_.summaries[0].category, kEvent);
    EXPECT_EQ(sink_.summaries[0].totals, (CategoryTotals{2, 2 * 0xFFFFFFFFull, 45}));
    EXPECT_EQ(sink_.summaries[1].totals, CategoryTotals{});
    EXPECT_EQ(sink_.summaries[2].totals, (CategoryTotals{1, 1000, 30}));
    // A photo's duration counts towards its total, though it is never shown.
    EXPECT_EQ(sink_.summaries[3].totals, (CategoryTotals{1, 500000, 20}));
    EXPECT_THAT(SummaryTexts(),
                ElementsAre("file: 0002, size: 8.00G, time 00:01", "file: 0000, size: 0B, 00:00",
                            "file: 0001, size: 1000B, 00:00", "file: 0001, size: 500000B"));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(sink_.summaries[i].category, kAllCategories[i]);
}

TEST_F(LoadTest, EmptyCardGivesNoRowsAndZeroLines) {
    EXPECT_EQ(Load(), LoadOutcome::Completed);
    EXPECT_THAT(sink_.rows, IsEmpty());
    EXPECT_THAT(SummaryTexts(), ElementsAre("file: 0000, size: 0B, 00:00", "file: 0000, size: 0B, 00:00",
                                            "file: 0000, size: 0B, 00:00", "file: 0000, size: 0B"));
}

TEST(LoadWithoutLibrary, UnboundLibraryOrMissingListEntryGivesZeroLines) {
    for (const char* missing : {"KRO_Create", "KRO_Get_File_List_tt"}) {
        FakeKroDevice device({missing});
        device.SetCard({{{{"a", 'E', 10, 10}}, {}, {}, {{"b", 'J', 10, 10}}}});
        RecordingSink sink;
        std::atomic<bool> cancel{false};
        EXPECT_EQ(LoadRecordingLists(device.Library(), sink, cancel), LoadOutcome::Completed) << missing;
        EXPECT_THAT(sink.rows, IsEmpty()) << missing;
        ASSERT_EQ(sink.summaries.size(), 4u) << missing;
        EXPECT_EQ(sink.summaries[0].text, "file: 0000, size: 0B, 00:00");
        EXPECT_EQ(sink.summaries[3].text, "file: 0000, size: 0B");
    }
}

TEST_F(LoadTest, CallsTheLibraryInOrderWithZeroFilledOutputsBehindEachOther) {
    std::vector<std::string> calls;
    const char* flagArea = nullptr;
    device_.getFileFlag = [&](char* area, std::uint8_t* a, std::uint8_t* b, std::uint8_t* c) {
        calls.push_back("flag");
        std::fill(area, area + kFileFlagAreaSize, 'x');
        *a = *b = *c = 0xFF;
        flagArea = area;
        return 1;
    };
    const std::int32_t counts[4] = {2, 0, 3, 1};
    const std::int32_t written[4] = {1, 0, 3, 1};  // Event returns fewer than it counted
    device_.getFileCount = [&](std::uint8_t code) {
        calls.push_back("count " + std::to_string(code));
        return counts[code];
    };
    std::vector<RecordingEntry*> outputs;
    device_.getFileList = [&](std::uint8_t code, std::int32_t capacity, RecordingEntry* entries,
                              std::int32_t* auxiliary, std::uint32_t* sizes, std::int32_t* durations) {
        calls.push_back("list " + std::to_string(code) + " capacity " + std::to_string(capacity));
        for (std::int32_t i = 0; i < capacity; ++i) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(&entries[i]);
            EXPECT_TRUE(
                std::all_of(bytes, bytes + sizeof(RecordingEntry), [](unsigned char b) { return b == 0; }));
            EXPECT_EQ(auxiliary[i], 0);
            EXPECT_EQ(sizes[i], 0u);
            EXPECT_EQ(durations[i], 0);
        }
        outputs.push_back(entries);
        std::vector<Recording> recordings(static_cast<std::size_t>(written[code]), Recording{"r", 'I', 1, 1});
        FakeKroDevice::WriteRecordings(recordings, entries, sizes, durations);
        std::fill(auxiliary, auxiliary + written[code], -1);
        return written[code];
    };

    Load();
    EXPECT_THAT(calls, ElementsAre("flag", "count 0", "count 1", "count 2", "count 3", "list 0 capacity 2",
                                   "list 1 capacity 0", "list 2 capacity 3", "list 3 capacity 1"));
    ASSERT_EQ(outputs.size(), 4u);
    EXPECT_EQ(outputs[1] - outputs[0], 1);
    EXPECT_EQ(outputs[2] - outputs[0], 1);
    EXPECT_EQ(outputs[3] - outputs[0], 4);
    EXPECT_EQ(sink_.rows.size(), 5u);

    // The flag storage outlives the load: the next load hands the same area.
    const char* firstArea = flagArea;
    calls.clear();
    Load();
    EXPECT_EQ(flagArea, firstArea);
}

TEST_F(LoadTest, NegativeCountIsZero) {
    device_.getFileCount = [](std::uint8_t code) { return code == 1 ? -5 : 1; };
    std::vector<std::int32_t> capacities;
    device_.getFileList = [&](std::uint8_t, std::int32_t capacity, RecordingEntry* entries, std::int32_t*,
                              std::uint32_t* sizes, std::int32_t* durations) {
        capacities.push_back(capacity);
        FakeKroDevice::WriteRecordings({{"r", 'I'}}, entries, sizes, durations);
        return capacity;
    };
    EXPECT_EQ(Load(), LoadOutcome::Completed);
    EXPECT_THAT(capacities, ElementsAre(1, 0, 1, 1));
    EXPECT_EQ(sink_.rows.size(), 3u);
}

TEST_F(LoadTest, CountsBeyondWhatBuffersCanHoldEndTheLoadWithoutRowsOrSummaries) {
    const std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    const std::vector<std::array<std::int32_t, 4>> cases = {
        {kMax, 1, 0, 0},                                        // the sum overflows 32 bits
        {kMax, kMax, kMax, kMax},                               // far beyond
        {0, 0, kMaxRecordingsPerList + 1, 0},                   // one list beyond the most
        {std::int32_t{1} << 24, 0, 0, 0},                       // 832 MiB of entries, were it allocated
    };
    for (const auto& counts : cases) {
        int listCalls = 0;
        device_.getFileCount = [&](std::uint8_t code) { return counts[code]; };
        device_.getFileList = [&](std::uint8_t, std::int32_t, RecordingEntry*, std::int32_t*, std::uint32_t*,
                                  std::int32_t*) { return ++listCalls, 0; };
        EXPECT_EQ(Load(), LoadOutcome::NoBuffers);
        EXPECT_EQ(listCalls, 0);
        EXPECT_THAT(sink_.rows, IsEmpty());
        EXPECT_THAT(sink_.summaries, IsEmpty());
    }
}

TEST_F(LoadTest, ListResultsOutsideTheCapacityAreClamped) {
    device_.getFileCount = [](std::uint8_t code) { return code == 3 ? 0 : 2; };
    std::vector<RecordingEntry*> outputs;
    device_.getFileList = [&](std::uint8_t code, std::int32_t capacity, RecordingEntry* entries,
                              std::int32_t*, std::uint32_t* sizes, std::int32_t* durations) {
        outputs.push_back(entries);
        const char letters[] = {'E', 'I', 'P', 'J'};
        std::vector<Recording> recordings;
        for (std::int32_t i = 0; i < capacity; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "%c%d", letters[code], static_cast<int>(i));
            recordings.push_back({name, letters[code], 1, 1});
        }
        FakeKroDevice::WriteRecordings(recordings, entries, sizes, durations);
        const std::int32_t results[] = {1000, -7, 2, std::numeric_limits<std::int32_t>::max()};
        return results[code];
    };
    EXPECT_EQ(Load(), LoadOutcome::Completed);
    ASSERT_EQ(outputs.size(), 4u);
    EXPECT_EQ(outputs[1] - outputs[0], 2);  // 1000 counted as the capacity, 2
    EXPECT_EQ(outputs[2] - outputs[0], 2);  // -7 counted as 0
    EXPECT_EQ(outputs[3] - outputs[0], 4);
    EXPECT_THAT(sink_.Names(kEvent), ElementsAre("E0", "E1"));
    EXPECT_THAT(sink_.Names(kNormal), IsEmpty());
    EXPECT_THAT(sink_.Names(kPark), ElementsAre("P0", "P1"));
    EXPECT_THAT(sink_.Names(kPhoto), IsEmpty());  // capacity 0 for Photo
}

TEST_F(LoadTest, NameWithoutTerminatorIsReadAsItsSixteenBytes) {
    device_.SetCard({{{{"ABCDEFGHIJKLMNOP", 'E', 1, 1}, {"short", 'E', 1, 1}}, {}, {}, {}}});
    Load();
    EXPECT_THAT(sink_.Names(kEvent), ElementsAre("ABCDEFGHIJKLMNOP", "short"));
}

TEST_F(LoadTest, SecondsTotalStaysAtItsLimitInsteadOfOverflowing) {
    const std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
    device_.SetCard({{{{"a", 'E', 1, kMax}, {"b", 'E', 1, kMax}}, {}, {}, {}}});
    Load();
    ASSERT_EQ(sink_.summaries.size(), 4u);
    EXPECT_EQ(sink_.summaries[0].totals.seconds, kMax);
}

TEST_F(LoadTest, CancelStopsBetweenRowsAndSuppressesTheSummaries) {
    device_.SetCard({{{{"a", 'E'}, {"b", 'E'}, {"c", 'E'}, {"d", 'E'}}, {}, {}, {}}});
    sink_.onRow = [this](const RecordingRow&) {
        if (sink_.rows.size() == 2) cancel_ = true;
    };
    EXPECT_EQ(Load(), LoadOutcome::Cancelled);
    EXPECT_THAT(sink_.Names(kEvent), ElementsAre("a", "b"));
    EXPECT_THAT(sink_.summaries, IsEmpty());
}

TEST_F(LoadTest, CancelBeforeTheStartCallsNothing) {
    int calls = 0;
    device_.getFileFlag = [&](char*, std::uint8_t*, std::uint8_t*, std::uint8_t*) { return ++calls; };
    device_.getFileCount = [&](std::uint8_t) { return ++calls; };
    cancel_ = true;
    EXPECT_EQ(Load(), LoadOutcome::Cancelled);
    EXPECT_EQ(calls, 0);
    EXPECT_THAT(sink_.summaries, IsEmpty());
}

}  // namespace
}  // namespace kro
