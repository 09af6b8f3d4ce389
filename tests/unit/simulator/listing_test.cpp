// Counting, listing and describing the recordings of a card.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "simulator/container.h"
#include "tests/unit/simulator/sim_test_support.h"

namespace kro::simtest {
namespace {

namespace fs = std::filesystem;

std::vector<TestRecording> MixedCard() {
    return {
        {"B_EVENT_e", 'e', 3, 2, 6, 6, 500}, {"A_EVENT_E", 'E', 2, 2, 4, 4, -7},
        {"C_NORMAL", 'I', 1, 2, 2, 1, 3},    {"C0_UNKNOWN", 'x', 1, 2, 2, 0, 0},
        {"F_PARK_P", 'P', 5, 1, 5, 5, 1},    {"E_PARK_M", 'M', 4, 1, 4, 4, 2},
        {"H.JPG", 'j', 0, 0, 1, 0, 0},       {"G.JPG", 'J', 0, 0, 1, 0, 0},
    };
}

std::uint32_t Le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}
std::uint16_t Le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

class ListingTest : public SimulatorTest {
protected:
    void SetUp() override {
        SimulatorTest::SetUp();
        WriteCard(card_, 3, MixedCard());
    }
};

TEST_F(ListingTest, EachCategoryListsItsRecordingsInNameOrder) {
    const std::vector<std::vector<std::string>> expected = {
        {"A_EVENT_E", "B_EVENT_e"},
        {"C0_UNKNOWN", "C_NORMAL"},  // an unknown letter is reported with the Normal recordings
        {"E_PARK_M", "F_PARK_P"},
        {"G.JPG", "H.JPG"},
    };
    for (std::uint8_t category = 0; category < 4; ++category) {
        const Listing listing = library_.List(handle_, category);
        EXPECT_EQ(listing.result, 2) << int{category};
        EXPECT_EQ(listing.Names(), expected[category]) << int{category};
    }
    EXPECT_EQ(library_.getFileCount(handle_, 4), 0);
    EXPECT_EQ(library_.getFileCount(handle_, 255), 0);
}

TEST_F(ListingTest, EntriesCarryLetterSizeAndDuration) {
    const Listing events = library_.List(handle_, 0);
    ASSERT_EQ(events.result, 2);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(events.entries.data());
    // Second entry, 40 bytes in: the name NUL-terminated, the letter at 16.
    EXPECT_STREQ(reinterpret_cast<const char*>(bytes + 40), "B_EVENT_e");
    EXPECT_EQ(bytes[40 + 16], 'e');
    EXPECT_EQ(bytes[16], 'E');
    const auto file = RecordingFile(MixedCard()[0]);
    EXPECT_EQ(events.sizes[1], file.size());
    EXPECT_EQ(events.durations[1], 3);
    EXPECT_EQ(events.durations[0], 2);
    const Listing photos = library_.List(handle_, 3);
    EXPECT_EQ(photos.entries[0].typeLetter, 'J');
    EXPECT_EQ(photos.entries[1].typeLetter, 'j');
}

TEST_F(ListingTest, ListWritesAtMostCapacityEntries) {
    RecordingEntry entries[2];
    std::memset(entries, 0x5A, sizeof entries);
    std::int32_t auxiliary[2] = {-1, -1};
    std::uint32_t sizes[2] = {7, 7};
    std::int32_t durations[2] = {-1, -1};
    EXPECT_EQ(library_.getFileList(handle_, 1, 1, entries, auxiliary, sizes, durations), 1);
    EXPECT_EQ(EntryName(entries[0]), "C0_UNKNOWN");
    EXPECT_EQ(static_cast<unsigned char>(entries[1].name[0]), 0x5A);
    EXPECT_EQ(sizes[1], 7u);
    EXPECT_EQ(durations[1], -1);
    EXPECT_EQ(auxiliary[1], -1);
    EXPECT_EQ(library_.getFileList(handle_, 1, 0, entries, auxiliary, sizes, durations), 0);
    EXPECT_EQ(library_.getFileList(handle_, 1, -5, entries, auxiliary, sizes, durations), 0);
    EXPECT_EQ(static_cast<unsigned char>(entries[1].name[0]), 0x5A);
}

TEST_F(ListingTest, DeclaredStreamSizesAreReportedAndClampedToThirtyTwoBits) {
    WriteCard(card_, 3,
              {{"BIG", 'I', 600, 1, 2, 1, 0, 3000000000u, 2000000000u},
               {"MID", 'I', 60, 1, 2, 1, 0, 70000000u, 0}});
    const Listing normal = library_.List(handle_, 1);
    ASSERT_EQ(normal.Names(), (std::vector<std::string>{"BIG", "C0_UNKNOWN", "C_NORMAL", "MID"}));
    EXPECT_EQ(normal.sizes[0], 0xFFFFFFFFu);
    const auto mid = RecordingFile({"MID", 'I', 60, 1, 2, 1});
    const auto rearStored = sim::DecodeHeader(mid)->rearStoredBytes;
    EXPECT_EQ(normal.sizes[3], sim::kContainerHeaderSize + 70000000u + rearStored);
    EXPECT_EQ(normal.durations[0], 600);

    RecordingIndexInfo info{};
    ASSERT_EQ(library_.getFileIndexInfo(handle_, 1, "BIG", &info), 1);
    EXPECT_EQ(info.frontBytes, 3000000000u);
    EXPECT_EQ(info.rearBytes, 2000000000u);
}

TEST_F(ListingTest, IndexInfoFillsTheRecordAtItsOffsets) {
    std::uint8_t record[sizeof(RecordingIndexInfo)];
    std::memset(record, 0xEE, sizeof record);
    ASSERT_EQ(
        library_.getFileIndexInfo(handle_, 0, "B_EVENT_e", reinterpret_cast<RecordingIndexInfo*>(record)), 1);
    const auto header = sim::DecodeHeader(RecordingFile(MixedCard()[0]));
    ASSERT_TRUE(header);
    EXPECT_EQ(record[52], 2);         // frames per second
    EXPECT_EQ(Le16(record + 68), 6);  // front frames
    EXPECT_EQ(Le16(record + 70), 6);  // rear frames
    EXPECT_EQ(Le32(record + 100), header->frontStoredBytes);
    EXPECT_EQ(Le32(record + 104), header->rearStoredBytes);
    EXPECT_EQ(Le16(record + 164), 16);  // front height
    EXPECT_EQ(Le16(record + 166), 16);  // rear height
    EXPECT_EQ(Le16(record + 196), 32);  // front width
    EXPECT_EQ(Le16(record + 198), 32);  // rear width
    EXPECT_EQ(static_cast<std::int32_t>(Le32(record + 240)), 500);
    EXPECT_EQ(record[391], 0) << "the whole record is written";

    // The name is looked up whatever category the caller passes.
    RecordingIndexInfo photo{};
    ASSERT_EQ(library_.getFileIndexInfo(handle_, 0, "G.JPG", &photo), 1);
    EXPECT_EQ(photo.frontFrames, 1);
    EXPECT_EQ(photo.rearFrames, 0);
    EXPECT_EQ(photo.rearWidth, 0);
}

TEST_F(ListingTest, IndexInfoOfAnUnknownNameClearsTheRecord) {
    RecordingIndexInfo info;
    std::memset(&info, 0xEE, sizeof info);
    EXPECT_EQ(library_.getFileIndexInfo(handle_, 0, "NOPE", &info), 0);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&info);
    EXPECT_TRUE(std::all_of(bytes, bytes + sizeof info, [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(library_.getFileIndexInfo(handle_, 0, nullptr, &info), 0);
    EXPECT_EQ(library_.getFileIndexInfo(handle_, 0, "A_EVENT_E", nullptr), 0);
}

TEST_F(ListingTest, FrameCountsBeyondSixteenBitsAreClamped) {
    sim::ContainerHeader header;
    header.typeLetter = 'I';
    header.framesPerSecond = 30;
    header.durationSeconds = 2400;
    header.frontFrames = 72000;
    header.frontStoredBytes = 4 * 72000;
    auto file = sim::EncodeHeader(header);
    file.resize(file.size() + header.frontStoredBytes);
    WriteFileBytes(card_ + "/LONG.KRO", file);
    RecordingIndexInfo info{};
    ASSERT_EQ(library_.getFileIndexInfo(handle_, 1, "LONG", &info), 1);
    EXPECT_EQ(info.frontFrames, 65535);
    EXPECT_EQ(info.framesPerSecond, 30);
}

TEST_F(ListingTest, FilesThatAreNotRecordingsAreLeftOut) {
    auto valid = RecordingFile({"X", 'I'});
    auto badMagic = valid;
    badMagic[0] = 'Q';
    WriteFileBytes(card_ + "/BADMAGIC.KRO", badMagic);
    WriteFileBytes(card_ + "/TRUNCATED.KRO", std::vector<std::uint8_t>(valid.begin(), valid.end() - 1));
    auto padded = valid;
    padded.push_back(0);
    WriteFileBytes(card_ + "/PADDED.KRO", padded);
    WriteFileBytes(card_ + "/SIXTEEN_LETTERS_.KRO", valid);
    WriteFileBytes(card_ + "/NOTES.TXT", valid);
    WriteFileBytes(card_ + "/.KRO", valid);
    fs::create_directory(card_ + "/FOLDER.KRO");
    WriteFileBytes(card_ + "/FIFTEEN_LETTERS.kro", valid);
    EXPECT_EQ(library_.List(handle_, 1).Names(),
              (std::vector<std::string>{"C0_UNKNOWN", "C_NORMAL", "FIFTEEN_LETTERS"}));
}

TEST_F(ListingTest, ARecordingReplacedOnTheCardIsReadAgain) {
    ASSERT_EQ(library_.List(handle_, 2).Names().size(), 2u);
    WriteFileBytes(card_ + "/C_NORMAL.KRO", RecordingFile({"C_NORMAL", 'P', 9, 1, 9, 0}));
    EXPECT_EQ(library_.List(handle_, 1).Names(), (std::vector<std::string>{"C0_UNKNOWN"}));
    const Listing park = library_.List(handle_, 2);
    ASSERT_EQ(park.Names(), (std::vector<std::string>{"C_NORMAL", "E_PARK_M", "F_PARK_P"}));
    EXPECT_EQ(park.durations[0], 9);
    fs::remove(card_ + "/E_PARK_M.KRO");
    EXPECT_EQ(library_.List(handle_, 2).Names(), (std::vector<std::string>{"C_NORMAL", "F_PARK_P"}));
}

// A file read while the card was going (or any read that failed) is not
// remembered as "not a recording": once the card is back with the same file,
// same size and time, it is listed again.
TEST_F(ListingTest, ARecordingThatCouldNotBeReadIsReadAgainWithTheSameSizeAndTime) {
    const auto valid = RecordingFile({"K_NORMAL", 'I', 1, 2, 2, 1, 3});
    const std::string path = card_ + "/K_NORMAL.KRO";
    WriteFileBytes(path, std::vector<std::uint8_t>(valid.size(), 0));
    const auto time = fs::last_write_time(path);
    EXPECT_EQ(library_.List(handle_, 1).Names(), (std::vector<std::string>{"C0_UNKNOWN", "C_NORMAL"}));
    WriteFileBytes(path, valid);
    fs::last_write_time(path, time);
    EXPECT_EQ(library_.List(handle_, 1).Names(),
              (std::vector<std::string>{"C0_UNKNOWN", "C_NORMAL", "K_NORMAL"}));
}

}  // namespace
}  // namespace kro::simtest
