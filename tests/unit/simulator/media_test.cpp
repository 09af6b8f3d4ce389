// The demo card's exports checked by independent readers: ffprobe and ffmpeg
// for the AVI files, libjpeg-turbo for the pictures.
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <map>
#include <set>

#include <jpeglib.h>

#include "tests/unit/simulator/sim_test_support.h"

namespace kro::simtest {
namespace {

// Standard output and error of a shell command.
std::string RunCommand(const std::string& command) {
    std::string output;
    if (std::FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        char chunk[4096];
        while (const std::size_t got = std::fread(chunk, 1, sizeof chunk, pipe)) output.append(chunk, got);
        pclose(pipe);
    }
    return output;
}

std::map<std::string, std::string> Probe(const std::string& path) {
    const std::string text = RunCommand(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=codec_name,width,height,nb_read_frames:format=duration -of default=noprint_wrappers=1 '" +
        path + "'");
    std::map<std::string, std::string> values;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end - at);
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
        at = end == std::string::npos ? text.size() : end + 1;
    }
    return values;
}

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void OnJpegError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

struct Decoded {
    bool ok = false;
    int width = 0;
    int height = 0;
    long warnings = 0;
};

// Decodes every scan line; no C++ objects live across the jump.
Decoded DecodeJpeg(const std::uint8_t* data, std::size_t size, std::uint8_t* row, std::size_t rowSize) {
    Decoded result;
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = OnJpegError;
    if (setjmp(error.jump) != 0) {
        jpeg_destroy_decompress(&info);
        return result;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    jpeg_start_decompress(&info);
    if (info.output_width * info.output_components <= rowSize) {
        while (info.output_scanline < info.output_height) {
            JSAMPROW rows[1] = {row};
            jpeg_read_scanlines(&info, rows, 1);
        }
        result.ok = true;
    }
    result.width = static_cast<int>(info.output_width);
    result.height = static_cast<int>(info.output_height);
    jpeg_finish_decompress(&info);
    result.warnings = error.manager.num_warnings;
    jpeg_destroy_decompress(&info);
    return result;
}

class DemoCardTest : public SimulatorTest {
protected:
    void SetUp() override {
        SimulatorTest::SetUp();
        demo_.emplace("KROSIM_CARD", KRO_DEMO_CARD);
        for (std::uint8_t category = 0; category < 4; ++category)
            listings_[category] = library_.List(handle_, category);
    }
    std::optional<ScopedEnv> demo_;
    Listing listings_[4];
};

TEST_F(DemoCardTest, TheDemoCardShowsEveryLetterAndAWideRangeOfDurations) {
    std::set<char> letters;
    std::set<char> unknown;
    int recordings = 0;
    std::int32_t shortest = INT32_MAX, longest = 0;
    for (std::uint8_t category = 0; category < 3; ++category) {
        for (std::int32_t duration : listings_[category].durations) {
            shortest = std::min(shortest, duration);
            longest = std::max(longest, duration);
        }
    }
    for (const Listing& listing : listings_) {
        recordings += listing.result;
        for (const RecordingEntry& entry : listing.entries) {
            letters.insert(entry.typeLetter);
            if (std::string("eEIMPjJ").find(entry.typeLetter) == std::string::npos)
                unknown.insert(entry.typeLetter);
            EXPECT_LT(EntryName(entry).size(), 16u);
        }
    }
    EXPECT_GE(recordings, 35);
    EXPECT_LE(recordings, 45);
    for (char letter : std::string("eEIMPjJ")) EXPECT_EQ(letters.count(letter), 1u) << letter;
    EXPECT_EQ(unknown.size(), 1u);
    EXPECT_LE(shortest, 5);
    EXPECT_GT(longest, 3600);
    for (const std::string& photo : listings_[3].Names()) EXPECT_TRUE(photo.ends_with(".JPG")) << photo;
}

TEST_F(DemoCardTest, EveryVideoConvertsToAnAviThatAgreesWithItsHeader) {
    int checked = 0;
    for (std::uint8_t category = 0; category < 3; ++category) {
        const Listing& listing = listings_[category];
        for (std::size_t i = 0; i < listing.entries.size(); ++i) {
            const std::string name = EntryName(listing.entries[i]);
            RecordingIndexInfo info{};
            ASSERT_EQ(library_.getFileIndexInfo(handle_, category, name.c_str(), &info), 1) << name;
            ASSERT_EQ(library_.makeAviFile(handle_, name.c_str()), 1) << name;
            const std::string avi = exports_ + "/" + name + ".avi";
            const auto probe = Probe(avi);
            EXPECT_EQ(probe.count("codec_name") ? probe.at("codec_name") : "", "mjpeg") << name;
            EXPECT_EQ(probe.count("width") ? probe.at("width") : "", std::to_string(info.frontWidth)) << name;
            EXPECT_EQ(probe.count("height") ? probe.at("height") : "", std::to_string(info.frontHeight))
                << name;
            EXPECT_EQ(probe.count("nb_read_frames") ? probe.at("nb_read_frames") : "",
                      std::to_string(info.frontFrames))
                << name;
            const double duration = probe.count("duration") ? std::stod(probe.at("duration")) : -1;
            EXPECT_NEAR(duration, listing.durations[i], 0.01) << name;
            EXPECT_NEAR(duration, double(info.frontFrames) / info.framesPerSecond, 0.01) << name;
            EXPECT_EQ(RunCommand("ffmpeg -nostdin -v error -i '" + avi + "' -f null -"), "") << name;
            std::remove(avi.c_str());
            ++checked;
        }
    }
    EXPECT_GE(checked, 25);
}

TEST_F(DemoCardTest, EveryPhotoExportsAsADecodableJpeg) {
    std::vector<std::uint8_t> buffer(kPictureBufferSize);
    std::vector<std::uint8_t> row(1 << 16);
    ASSERT_FALSE(listings_[3].entries.empty());
    for (const std::string& name : listings_[3].Names()) {
        std::int32_t size = 0;
        ASSERT_EQ(library_.makePictureFile(handle_, name.c_str(), &size, buffer.data()), 1) << name;
        ASSERT_GT(size, 0);
        RecordingIndexInfo info{};
        library_.getFileIndexInfo(handle_, 3, name.c_str(), &info);
        const Decoded decoded =
            DecodeJpeg(buffer.data(), static_cast<std::size_t>(size), row.data(), row.size());
        EXPECT_TRUE(decoded.ok) << name;
        EXPECT_EQ(decoded.warnings, 0) << name;
        EXPECT_EQ(decoded.width, info.frontWidth) << name;
        EXPECT_EQ(decoded.height, info.frontHeight) << name;
    }
    // The decoder does notice a damaged picture.
    std::int32_t size = 0;
    library_.makePictureFile(handle_, listings_[3].Names()[0].c_str(), &size, buffer.data());
    EXPECT_FALSE(DecodeJpeg(buffer.data(), 100, row.data(), row.size()).warnings == 0 &&
                 DecodeJpeg(buffer.data(), 100, row.data(), row.size()).ok);
}

TEST_F(DemoCardTest, EveryBackupIsByteIdentical) {
    for (const Listing& listing : listings_) {
        for (const std::string& name : listing.Names()) {
            ASSERT_EQ(library_.makeKroFile(handle_, name.c_str()), 1) << name;
            const auto copy = ReadFileBytes(exports_ + "/" + name + ".kro");
            EXPECT_FALSE(copy.empty());
            EXPECT_TRUE(copy == ReadFileBytes(std::string(KRO_DEMO_CARD) + "/" + name + ".KRO")) << name;
        }
    }
}

}  // namespace
}  // namespace kro::simtest
