#include "recording_lists/recording_info_lines.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "fake_kro_device.h"

namespace kro {
namespace {

using ::testing::ElementsAre;

const std::string kRule(51, '_');

void PutLittleEndian(RecordingIndexInfo& info, std::size_t offset, std::uint32_t value, int bytes) {
    auto* raw = reinterpret_cast<std::uint8_t*>(&info);
    for (int i = 0; i < bytes; ++i) raw[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

RecordingIndexInfo SampleInfo() {
    RecordingIndexInfo info{};
    std::memset(&info, 0xEE, sizeof info);  // bytes outside the fields must not matter
    PutLittleEndian(info, 52, 30, 1);
    PutLittleEndian(info, 68, 1800, 2);
    PutLittleEndian(info, 70, 900, 2);
    PutLittleEndian(info, 100, 1572864, 4);
    PutLittleEndian(info, 104, 0xFFFFFFFFu, 4);
    PutLittleEndian(info, 164, 1080, 2);
    PutLittleEndian(info, 166, 720, 2);
    PutLittleEndian(info, 196, 1920, 2);
    PutLittleEndian(info, 198, 1280, 2);
    PutLittleEndian(info, 240, static_cast<std::uint32_t>(-42), 4);
    return info;
}

TEST(RecordingInfoLines, VideoCategoriesShowElevenLinesInOrder) {
    EXPECT_THAT(BuildRecordingInfoLines(0, "EVT_0001", SampleInfo()),
                ElementsAre(kRule, "                   Event file Info                  ",
                            "Filename : EVT_0001", "Front frame : 1800", "Rear frame : 900",
                            "Front size : 1M", "Rear size : 4095M", "fps : 30", "G-Sen : -42",
                            "Front resolution : 1920 x 1080", "Rear resolution : 1280 x 720"));
}

TEST(RecordingInfoLines, HeadersOfNormalAndPark) {
    EXPECT_EQ(BuildRecordingInfoLines(1, "n", SampleInfo())[1],
              "                   Normal file Info                  ");
    EXPECT_EQ(BuildRecordingInfoLines(2, "p", SampleInfo())[1],
              "                   Park file Info                  ");
    EXPECT_EQ(BuildRecordingInfoLines(2, "p", SampleInfo()).size(), 11u);
}

TEST(RecordingInfoLines, PhotoShowsOnlyItsName) {
    EXPECT_THAT(
        BuildRecordingInfoLines(3, "JPG_0001", SampleInfo()),
        ElementsAre(kRule, "                   Photo file Info                  ", "Filename : JPG_0001"));
}

TEST(RecordingInfoLines, UnknownCategoryHasNoHeaderButTheDetails) {
    const auto lines = BuildRecordingInfoLines(7, "x", SampleInfo());
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], kRule);
    EXPECT_EQ(lines[1], "Filename : x");
    EXPECT_EQ(lines[9], "Rear resolution : 1280 x 720");
}

TEST(RecordingInfoLines, QueryPassesCategoryAndNameAndStartsFromZeros) {
    fake::FakeKroDevice device;
    std::uint8_t askedCategory = 0xFF;
    std::string askedName;
    device.getFileIndexInfo = [&](std::uint8_t category, const char* name, RecordingIndexInfo* info) {
        askedCategory = category;
        askedName = name;
        info->frontWidth = 640;
        return 1;
    };
    const RecordingIndexInfo info = QueryRecordingInfo(device.Library(), RecordingCategory::Park, "PARK_01");
    EXPECT_EQ(askedCategory, 2);
    EXPECT_EQ(askedName, "PARK_01");
    EXPECT_EQ(info.frontWidth, 640);
    EXPECT_EQ(BuildRecordingInfoLines(2, "PARK_01", info)[10], "Rear resolution : 0 x 0");
}

TEST(RecordingInfoLines, UnboundLibraryShowsZeros) {
    fake::FakeKroDevice device({"KRO_Create"});
    const RecordingIndexInfo info = QueryRecordingInfo(device.Library(), RecordingCategory::Event, "E");
    EXPECT_THAT(BuildRecordingInfoLines(0, "E", info),
                ElementsAre(kRule, "                   Event file Info                  ", "Filename : E",
                            "Front frame : 0", "Rear frame : 0", "Front size : 0M", "Rear size : 0M",
                            "fps : 0", "G-Sen : 0", "Front resolution : 0 x 0", "Rear resolution : 0 x 0"));
}

}  // namespace
}  // namespace kro
