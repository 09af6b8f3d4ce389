// The AVI, backup and picture conversions.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "simulator/container.h"
#include "tests/unit/simulator/sim_test_support.h"

namespace kro::simtest {
namespace {

namespace fs = std::filesystem;

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) | (std::uint32_t{b[at + 2]} << 16) |
           (std::uint32_t{b[at + 3]} << 24);
}
std::string Tag(const std::vector<std::uint8_t>& b, std::size_t at) {
    return std::string(reinterpret_cast<const char*>(b.data() + at), 4);
}

// The parts of an AVI file the tests look at, found by walking its chunks.
struct AviFile {
    std::size_t avih = 0, strh = 0, strf = 0, movi = 0, idx1 = 0;
    std::vector<std::pair<std::size_t, std::uint32_t>> frames;  // chunk position, size
    bool Walk(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t end) {
        while (at + 8 <= end) {
            const std::string id = Tag(b, at);
            const std::uint32_t size = Le32(b, at + 4);
            if (at + 8 + size > end) return false;
            if (id == "LIST") {
                if (Tag(b, at + 8) == "movi") movi = at + 8;
                if (!Walk(b, at + 12, at + 8 + size)) return false;
            } else if (id == "avih") {
                avih = at + 8;
            } else if (id == "strh") {
                strh = at + 8;
            } else if (id == "strf") {
                strf = at + 8;
            } else if (id == "idx1") {
                idx1 = at;
            } else if (id == "00dc") {
                frames.emplace_back(at, size);
            }
            at += 8 + size + (size & 1u);
        }
        return at == end;
    }
};

class ConversionTest : public SimulatorTest {
protected:
    void SetUp() override {
        SimulatorTest::SetUp();
        WriteCard(card_, 2, {{"EV1", 'E', 5, 2, 11, 3, 640}, {"PIC.JPG", 'J', 0, 0, 1, 0}});
    }
};

TEST_F(ConversionTest, AviHoldsEveryFrontFrameInOrderWithAnIndex) {
    ASSERT_EQ(library_.makeAviFile(handle_, "EV1"), 1);
    const auto avi = ReadFileBytes(exports_ + "/EV1.avi");
    ASSERT_GT(avi.size(), 12u);
    EXPECT_EQ(Tag(avi, 0), "RIFF");
    EXPECT_EQ(Le32(avi, 4), avi.size() - 8);
    EXPECT_EQ(Tag(avi, 8), "AVI ");
    AviFile file;
    ASSERT_TRUE(file.Walk(avi, 12, avi.size()));
    ASSERT_NE(file.avih, 0u);
    EXPECT_EQ(Le32(avi, file.avih + 16), 11u);  // total frames
    EXPECT_EQ(Le32(avi, file.avih + 24), 1u);   // streams
    EXPECT_EQ(Le32(avi, file.avih + 32), 32u);  // width
    EXPECT_EQ(Le32(avi, file.avih + 36), 16u);  // height
    ASSERT_NE(file.strh, 0u);
    EXPECT_EQ(Tag(avi, file.strh), "vids");
    EXPECT_EQ(Tag(avi, file.strh + 4), "MJPG");
    EXPECT_EQ(Le32(avi, file.strh + 24) / Le32(avi, file.strh + 20), 2u);  // rate / scale = fps
    EXPECT_EQ(Le32(avi, file.strh + 32), 11u);                             // length
    EXPECT_EQ(Tag(avi, file.strf + 16), "MJPG");

    ASSERT_EQ(file.frames.size(), 11u);
    ASSERT_NE(file.idx1, 0u);
    EXPECT_EQ(Le32(avi, file.idx1 + 4), 11u * 16);
    for (std::uint32_t i = 0; i < 11; ++i) {
        const auto [at, size] = file.frames[i];
        const auto expected = TinyJpegFrame(i);
        ASSERT_EQ(size, expected.size()) << i;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), avi.begin() + static_cast<long>(at) + 8))
            << i;
        const std::size_t entry = file.idx1 + 8 + 16u * i;
        EXPECT_EQ(Tag(avi, entry), "00dc");
        EXPECT_EQ(Le32(avi, entry + 4) & 0x10u, 0x10u) << "key frame";
        EXPECT_EQ(file.movi + Le32(avi, entry + 8), at) << "offset from the movi type";
        EXPECT_EQ(Le32(avi, entry + 12), size);
    }
}

TEST_F(ConversionTest, ConversionsLeaveOnlyFinishedFilesInTheExportFolder) {
    ASSERT_EQ(library_.makeAviFile(handle_, "EV1"), 1);
    ASSERT_EQ(library_.makeKroFile(handle_, "EV1"), 1);
    ASSERT_EQ(library_.makeKroFile(handle_, "PIC.JPG"), 1);
    EXPECT_EQ(FilesIn(exports_), (std::vector<std::string>{"EV1.avi", "EV1.kro", "PIC.JPG.kro"}));
}

TEST_F(ConversionTest, BackupIsAByteExactCopy) {
    ASSERT_EQ(library_.makeKroFile(handle_, "EV1"), 1);
    const auto copy = ReadFileBytes(exports_ + "/EV1.kro");
    EXPECT_FALSE(copy.empty());
    EXPECT_EQ(copy, ReadFileBytes(card_ + "/EV1.KRO"));
}

TEST_F(ConversionTest, AnEarlierExportIsReplaced) {
    fs::create_directories(exports_);
    WriteFileBytes(exports_ + "/EV1.avi", std::vector<std::uint8_t>(100000, 'x'));
    ASSERT_EQ(library_.makeAviFile(handle_, "EV1"), 1);
    const auto avi = ReadFileBytes(exports_ + "/EV1.avi");
    EXPECT_EQ(Tag(avi, 0), "RIFF");
    EXPECT_EQ(Le32(avi, 4), avi.size() - 8);
}

TEST_F(ConversionTest, TheExportFolderIsCreatedWithItsParents) {
    const std::string nested = root_.Join("a/b/c");
    ScopedEnv exportFolder("KROSIM_EXPORT_DIR", nested);
    ASSERT_EQ(library_.makeAviFile(handle_, "EV1"), 1);
    EXPECT_EQ(FilesIn(nested), std::vector<std::string>{"EV1.avi"});
}

TEST_F(ConversionTest, AnExportFolderThatCannotBeMadeFailsTheConversion) {
    const std::string blocker = root_.Join("plainfile");
    WriteFileBytes(blocker, {1, 2, 3});
    ScopedEnv exportFolder("KROSIM_EXPORT_DIR", blocker);
    EXPECT_EQ(library_.makeAviFile(handle_, "EV1"), 0);
    EXPECT_EQ(library_.makeKroFile(handle_, "EV1"), 0);
    EXPECT_EQ(ReadFileBytes(blocker), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(ConversionTest, PictureCopiesThePhotoIntoTheBuffer) {
    std::vector<std::uint8_t> buffer(kPictureBufferSize, 0xCC);
    std::int32_t size = -1;
    ASSERT_EQ(library_.makePictureFile(handle_, "PIC.JPG", &size, buffer.data()), 1);
    const auto jpeg = TinyJpegFrame(0);
    ASSERT_EQ(size, static_cast<std::int32_t>(jpeg.size()));
    EXPECT_TRUE(std::equal(jpeg.begin(), jpeg.end(), buffer.begin()));
    EXPECT_EQ(buffer[jpeg.size()], 0xCC);
    EXPECT_TRUE(FilesIn(exports_).empty()) << "pictures are written by the caller";
}

TEST_F(ConversionTest, APictureLargerThanTheBufferIsRefused) {
    std::vector<std::uint8_t> huge(kPictureBufferSize + 1, 0);
    huge[0] = 0xFF;
    huge[1] = 0xD8;
    sim::ContainerHeader header;
    header.typeLetter = 'J';
    WriteFileBytes(card_ + "/HUGE.JPG.KRO", sim::BuildContainer(header, {huge}, {}));
    std::vector<std::uint8_t> buffer(kPictureBufferSize, 0xCC);
    std::int32_t size = -1;
    EXPECT_EQ(library_.makePictureFile(handle_, "HUGE.JPG", &size, buffer.data()), 0);
    EXPECT_EQ(size, 0);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0xCC; }));
}

TEST_F(ConversionTest, UnknownOrVanishedRecordingsConvertToNothing) {
    std::int32_t size = -1;
    std::vector<std::uint8_t> buffer(kPictureBufferSize);
    EXPECT_EQ(library_.makeAviFile(handle_, "NOPE"), 0);
    EXPECT_EQ(library_.makeAviFile(handle_, nullptr), 0);
    EXPECT_EQ(library_.makePictureFile(handle_, "NOPE", &size, buffer.data()), 0);
    EXPECT_EQ(size, 0);
    ASSERT_EQ(library_.List(handle_, 0).Names(), std::vector<std::string>{"EV1"});
    fs::remove(card_ + "/EV1.KRO");
    EXPECT_EQ(library_.makeAviFile(handle_, "EV1"), 0);
    EXPECT_EQ(library_.makeKroFile(handle_, "EV1"), 0);
    EXPECT_TRUE(FilesIn(exports_).empty());
}

TEST_F(ConversionTest, ADamagedStreamGivesNoAvi) {
    sim::ContainerHeader header;
    header.typeLetter = 'E';
    header.framesPerSecond = 2;
    header.frontWidth = 32;
    header.frontHeight = 16;
    WriteFileBytes(card_ + "/BROKEN.KRO",
                   sim::BuildContainer(header, {TinyJpegFrame(0), {0x00, 0x11, 0x22}, TinyJpegFrame(2)}, {}));
    header.framesPerSecond = 0;
    WriteFileBytes(card_ + "/NOFPS.KRO", sim::BuildContainer(header, {TinyJpegFrame(0)}, {}));
    ASSERT_EQ(library_.getFileCount(handle_, 0), 3);
    EXPECT_EQ(library_.makeAviFile(handle_, "BROKEN"), 0);
    EXPECT_EQ(library_.makeAviFile(handle_, "NOFPS"), 0);
    EXPECT_EQ(library_.makeAviFile(handle_, "PIC.JPG"), 0) << "a photo has no frame rate";
    // The backup copies bytes and does not judge them.
    EXPECT_EQ(library_.makeKroFile(handle_, "BROKEN"), 1);
    EXPECT_EQ(FilesIn(exports_), std::vector<std::string>{"BROKEN.kro"});
}

}  // namespace
}  // namespace kro::simtest
