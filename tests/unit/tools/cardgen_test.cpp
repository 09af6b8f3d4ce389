// kro_cardgen: determinism, the scale card's declared sizes, and the care it
// takes with the folder it writes into.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>

#include <sys/wait.h>

#include "simulator/card.h"
#include "simulator/container.h"

namespace kro::cardgen {
namespace {

namespace fs = std::filesystem;

class Scratch {
public:
    Scratch() : path_(fs::temp_directory_path() / ("kro-cardgen-" + std::to_string(std::random_device{}()))) {
        fs::create_directories(path_);
    }
    ~Scratch() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

int Generate(const std::string& arguments) {
    const std::string command = std::string(KRO_CARDGEN) + " " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::map<std::string, std::string> Contents(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        files[entry.path().filename().string()] =
            std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

TEST(CardGeneratorTest, TheSameSeedGivesTheSameCardByteForByte) {
    Scratch scratch;
    ASSERT_EQ(Generate("--out " + (scratch / "demo").string() + " --demo --seed 1"), 0);
    EXPECT_EQ(Contents(scratch / "demo"), Contents(KRO_DEMO_CARD)) << "the build's demo card is seed 1";
    ASSERT_EQ(Generate("--out " + (scratch / "a").string() + " --recordings 50 --seed 9"), 0);
    ASSERT_EQ(Generate("--out " + (scratch / "b").string() + " --recordings 50 --seed 9"), 0);
    ASSERT_EQ(Generate("--out " + (scratch / "c").string() + " --recordings 50 --seed 10"), 0);
    EXPECT_EQ(Contents(scratch / "a"), Contents(scratch / "b"));
    EXPECT_NE(Contents(scratch / "a"), Contents(scratch / "c"));
}

TEST(CardGeneratorTest, AScaleCardDeclaresCameraSizedStreamsInSmallFiles) {
    Scratch scratch;
    const fs::path card = scratch / "scale";
    ASSERT_EQ(Generate("--out " + card.string() + " --recordings 400 --seed 3"), 0);
    int recordings = 0;
    std::uint64_t storedBytes = 0;
    std::uint64_t declaredTotals[sim::kCategoryCount] = {};
    for (const auto& [name, bytes] : Contents(card)) {
        if (name == sim::kDescriptorFileName) continue;
        const auto header =
            sim::DecodeHeader(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
        ASSERT_TRUE(header) << name;
        EXPECT_EQ(header->StoredFileSize(), bytes.size()) << name;
        EXPECT_LE(name.size() - 4, sim::kMaxRecordingNameLength) << name;
        ++recordings;
        storedBytes += bytes.size();
        declaredTotals[sim::CategoryOfLetter(header->typeLetter)] +=
            std::min<std::uint64_t>(header->ReportedSize(), UINT32_MAX);
    }
    EXPECT_EQ(recordings, 400);
    // Small enough that 10,000 recordings stay far below 100 MB.
    EXPECT_LT(storedBytes / 400, 4096u);
    EXPECT_GT(declaredTotals[1], 1ull << 32) << "Normal totals beyond 4 GiB";
    for (std::uint64_t total : declaredTotals) EXPECT_GT(total, 0u);
}

TEST(CardGeneratorTest, AFolderHoldingOtherFilesIsLeftAlone) {
    Scratch scratch;
    const fs::path folder = scratch / "mine";
    fs::create_directories(folder);
    std::ofstream(folder / "thesis.doc") << "precious";
    EXPECT_NE(Generate("--out " + folder.string() + " --recordings 5"), 0);
    EXPECT_EQ(Contents(folder), (std::map<std::string, std::string>{{"thesis.doc", "precious"}}));
}

TEST(CardGeneratorTest, AnEarlierCardIsReplaced) {
    Scratch scratch;
    const fs::path folder = scratch / "card";
    ASSERT_EQ(Generate("--out " + folder.string() + " --recordings 30 --seed 1"), 0);
    ASSERT_EQ(Generate("--out " + folder.string() + " --recordings 5 --seed 2"), 0);
    EXPECT_EQ(Contents(folder).size(), 5u + 1);
}

TEST(CardGeneratorTest, BadArgumentsAreRefused) {
    Scratch scratch;
    const std::string out = " --out " + (scratch / "x").string();
    EXPECT_EQ(Generate("--demo"), 2);
    EXPECT_EQ(Generate(out), 2);
    EXPECT_EQ(Generate(out + " --demo --recordings 5"), 2);
    EXPECT_EQ(Generate(out + " --recordings 0"), 2);
    EXPECT_EQ(Generate(out + " --recordings ten"), 2);
    EXPECT_EQ(Generate(out + " --demo --seed"), 2);
    EXPECT_FALSE(fs::exists(scratch / "x"));
}

}  // namespace
}  // namespace kro::cardgen
